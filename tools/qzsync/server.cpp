#include "server.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace qzsync {

namespace {

// Made once per database under an advisory lock, so that several
// workstations starting together do not race each other's CREATE. A count
// reads as a number as the program's CSV export reads it: trimmed of
// blanks, an optional sign, digits, at most one decimal mark (comma or
// point). The barcode is grouped as the export writes it (commas, quotes
// and bars removed, line breaks made blanks, blanks trimmed).
const char* const kSchema = R"SQL(
SET LOCAL client_min_messages = warning;
SELECT pg_advisory_xact_lock(7306752117);
CREATE TABLE IF NOT EXISTS qzsync_scans (
    workstation text NOT NULL,
    record integer NOT NULL,
    barcode text NOT NULL,
    count_text text NOT NULL,
    generation integer NOT NULL,
    received timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (workstation, generation, record));
CREATE TABLE IF NOT EXISTS qzsync_files (
    workstation text NOT NULL,
    generation integer NOT NULL,
    file_id text NOT NULL,
    registered timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (workstation, generation));
CREATE OR REPLACE VIEW qzsync_counts AS
    SELECT workstation, generation, record, barcode, count_text, item,
           CASE WHEN t ~ '^[+-]?[0-9]*[.,]?[0-9]*$' AND t ~ '[0-9]'
                THEN replace(t, ',', '.')::numeric END AS amount
    FROM (SELECT s.*, btrim(count_text, ' ') AS t,
                 btrim(translate(barcode, E'\r\n,"|', '  '), ' ') AS item
          FROM qzsync_scans s) c;
CREATE OR REPLACE VIEW qzsync_totals AS
    SELECT item AS barcode, trim_scale(sum(amount)) AS total, count(*) AS scans,
           count(DISTINCT workstation) AS sources
    FROM qzsync_counts WHERE amount IS NOT NULL GROUP BY item;
)SQL";

}  // namespace

Server::~Server() { Close(); }

void Server::Close() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
}

bool Server::Connected() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

bool Server::Connect(const std::string& conninfo, std::string* error) {
    Close();
    // A connection attempt never waits without a bound; keepalives find a
    // dead network link instead of waiting on it for hours.
    const char* timeout = std::getenv("PGCONNECT_TIMEOUT") ? nullptr : "10";
    std::vector<const char*> keys, values;
    if (timeout) keys.push_back("connect_timeout"), values.push_back(timeout);
    keys.push_back("keepalives_idle"), values.push_back("10");
    keys.push_back("keepalives_interval"), values.push_back("5");
    keys.push_back("keepalives_count"), values.push_back("3");
    keys.push_back("application_name"), values.push_back("qzsync");
    keys.push_back("dbname"), values.push_back(conninfo.empty() ? nullptr : conninfo.c_str());
    keys.push_back(nullptr), values.push_back(nullptr);
    conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
    if (PQstatus(conn_) != CONNECTION_OK) {
        *error = PQerrorMessage(conn_);
        while (!error->empty() && error->back() == '\n') error->pop_back();
        Close();
        return false;
    }
    PGresult* r = PQexec(conn_, (std::string("BEGIN;") + kSchema + "COMMIT;").c_str());
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    if (!ok) *error = std::string("creating the tables: ") + PQresultErrorMessage(r);
    PQclear(r);
    if (!ok) Close();
    return ok;
}

bool Server::Exec(const std::string& sql, const std::vector<std::string>& params, std::string* error,
                  std::vector<std::vector<std::string>>* rows) {
    if (!conn_) {
        *error = "not connected";
        return false;
    }
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p.c_str());
    PGresult* r =
        PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    ExecStatusType st = PQresultStatus(r);
    bool ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    if (!ok) {
        *error = PQresultErrorMessage(r);
        while (!error->empty() && error->back() == '\n') error->pop_back();
        if (error->empty()) *error = PQerrorMessage(conn_);
    } else if (rows) {
        rows->clear();
        for (int i = 0; i < PQntuples(r); ++i) {
            rows->emplace_back();
            for (int j = 0; j < PQnfields(r); ++j) rows->back().push_back(PQgetvalue(r, i, j));
        }
    }
    PQclear(r);
    // A broken connection is dropped, so that the caller connects again.
    if (!ok && PQstatus(conn_) != CONNECTION_OK) Close();
    return ok;
}

bool Server::Latest(const std::string& workstation, Generation& out, std::string* error) {
    out = Generation{};
    std::vector<std::vector<std::string>> rows;
    if (!Exec("SELECT f.generation, f.file_id, (SELECT coalesce(max(record), 0) FROM qzsync_scans s"
              " WHERE s.workstation = f.workstation AND s.generation = f.generation)"
              " FROM qzsync_files f WHERE f.workstation = $1 ORDER BY f.generation DESC LIMIT 1",
              {workstation}, error, &rows))
        return false;
    if (rows.empty()) return true;
    out.number = std::atoi(rows[0][0].c_str());
    out.fileId = rows[0][1];
    out.stored = static_cast<uint32_t>(std::strtoul(rows[0][2].c_str(), nullptr, 10));
    return true;
}

bool Server::Register(const std::string& workstation, int number, const std::string& fileId, std::string* error) {
    return Exec(
        "INSERT INTO qzsync_files (workstation, generation, file_id) VALUES ($1, $2, $3)"
        " ON CONFLICT DO NOTHING",
        {workstation, std::to_string(number), fileId}, error);
}

bool Server::Send(const std::string& workstation, int generation, const std::vector<ScanRecord>& records,
                  std::string* error) {
    if (records.empty()) return true;
    std::string sql = "INSERT INTO qzsync_scans (workstation, generation, record, barcode, count_text) VALUES ";
    std::vector<std::string> params{workstation, std::to_string(generation)};
    for (size_t i = 0; i < records.size(); ++i) {
        size_t p = params.size();
        sql += (i ? ", " : "") + std::string("($1, $2, $") + std::to_string(p + 1) + "::integer, $" +
               std::to_string(p + 2) + ", $" + std::to_string(p + 3) + ")";
        params.push_back(std::to_string(records[i].number));
        params.push_back(records[i].barcode);
        params.push_back(records[i].count);
    }
    sql += " ON CONFLICT DO NOTHING";
    // One statement is one transaction: the batch is stored whole or not at
    // all, and a batch sent again after a lost reply changes nothing.
    return Exec(sql, params, error);
}

bool Server::Totals(std::vector<Total>& totals, std::vector<NotANumber>& others, std::string* error) {
    std::vector<std::vector<std::string>> rows;
    if (!Exec("SELECT barcode, total::text, scans, sources FROM qzsync_totals ORDER BY barcode COLLATE \"C\"", {},
              error, &rows))
        return false;
    for (auto& r : rows) totals.push_back({r[0], r[1], std::atoll(r[2].c_str()), std::atoll(r[3].c_str())});
    if (!Exec("SELECT workstation, generation, record, item, count_text FROM qzsync_counts WHERE amount IS NULL"
              " ORDER BY item COLLATE \"C\", workstation, generation, record",
              {}, error, &rows))
        return false;
    for (auto& r : rows)
        others.push_back({r[0], r[3], r[4], std::atoi(r[1].c_str()), static_cast<uint32_t>(std::atol(r[2].c_str()))});
    return true;
}

}  // namespace qzsync
