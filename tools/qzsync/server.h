// The PostgreSQL side of qzsync: the tables it keeps, where a workstation's
// replication stopped, one batch of scans in one transaction, and the
// per-barcode totals.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scanfile.h"

struct pg_conn;

namespace qzsync {

// The newest generation a workstation registered: its number, the file it
// stands for, and the highest record number stored for it (0 when none).
struct Generation {
    int number = 0;  // 0: the workstation has none yet
    std::string fileId;
    uint32_t stored = 0;
};

struct Total {
    std::string barcode, total;
    long long scans = 0, sources = 0;
};

struct NotANumber {
    std::string workstation, barcode, count;
    int generation = 0;
    uint32_t record = 0;
};

class Server {
public:
    Server() = default;
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Connects by conninfo (empty: the PG* variables or the service file
    // decide) and creates the tables and views when they are missing.
    bool Connect(const std::string& conninfo, std::string* error);
    bool Connected() const;
    void Close();

    bool Latest(const std::string& workstation, Generation& out, std::string* error);
    // Registers generation `number` for the file; registering it twice is
    // harmless.
    bool Register(const std::string& workstation, int number, const std::string& fileId, std::string* error);
    // Stores the records in one transaction; records stored before are left
    // as they are.
    bool Send(const std::string& workstation, int generation, const std::vector<ScanRecord>& records,
              std::string* error);

    bool Totals(std::vector<Total>& totals, std::vector<NotANumber>& others, std::string* error);

private:
    bool Exec(const std::string& sql, const std::vector<std::string>& params, std::string* error,
              std::vector<std::vector<std::string>>* rows = nullptr);
    pg_conn* conn_ = nullptr;
};

}  // namespace qzsync
