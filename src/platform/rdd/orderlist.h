// The orders of an open table: the index files opened with it (the table's
// own first), their orders in memory, the one selected, and the upkeep that
// keeps files and memory in step with every record written.
//
// Upkeep of one written record (Write): under the index file's lock when the
// table is shared, first read what other writers journaled, then compute
// the record's keys (nothing is written when that fails), write the record
// to the table, append a journal entry to every index file, update the
// orders in memory. Sync makes the journal durable beside the table.
//
// Sharing: whatever reads the whole table to set the orders right (an open
// whose orders are out of step, a rebuild another writer asked for) does it
// under the journal locks, so no writer changes the table between that read
// and the journal entries taken in. A file is replaced by a new snapshot
// only under its lock and only by the table's sole open; an open checks
// under that lock that it holds the file its name leads to.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rdd/dbftable.h"
#include "platform/rdd/indexfile.h"
#include "platform/rdd/indexorder.h"

namespace rdd::idx {

class OrderList {
public:
    // What the table object lends: compiling an expression text into a code
    // block (nil with a fault when it does not compile), and evaluating a
    // block with the given record as the current one.
    struct Host {
        std::function<rt::Usual(const std::string& text, Fault& fault)> compile;
        std::function<rt::Usual(const rt::Usual& block, const uint8_t* record, uint32_t recno)> eval;
    };

    OrderList(dbf::Table& table, Host host);
    ~OrderList();

    // The table's own index file: the table's name with ".qzx".
    static std::string OwnIndexPath(const std::string& tablePath);

    // Opens an index file with the table: its orders are checked against
    // the table and rebuilt when they disagree. A missing own file is no
    // fault. A file whose definitions are damaged is set aside (see Notes);
    // that is a fault only when the file was asked for (mustExist). The
    // first order opened becomes the selected one when none is.
    Fault Add(const std::string& path, bool mustExist);
    // Creates an order (replacing one of the same name in that file). The
    // blocks are used as given when not nil, else compiled from the texts.
    Fault Create(const std::string& name, const std::string& path, const std::string& keyText, rt::Usual keyBlock,
                 const std::string& forText, rt::Usual forBlock);
    // Rebuilds every order from the table and rewrites the files.
    Fault Reindex();

    size_t Count() const;
    // Selects by 1-based number (0: natural order) or by name; FALSE when
    // there is no such order (the selection stays).
    [[nodiscard]] bool Select(size_t number);
    [[nodiscard]] bool Select(const std::string& name);
    size_t Selected() const { return selected_; }
    Order* Active() const;
    Order* At(size_t number) const;  // 1-based; nullptr when none

    // Upkeep (see above). `writeTable` writes the record to the table. On a
    // shared table an index file that could not be added is tried again
    // first; while it fails nothing is written.
    Fault Write(uint32_t recno, const uint8_t* record, const std::function<Fault()>& writeTable);
    Fault Sync();
    // Shared tables: takes in what other writers journaled since.
    Fault CatchUp();
    // Writes compact files (snapshot, empty journal) when this open is the
    // only one; called when the table closes. Skipped quietly when another
    // open appears meanwhile: the journal stays valid.
    Fault Compact();

    // What opening the index files found and mended that the caller was not
    // told as a fault (a damaged file set aside).
    const std::vector<std::string>& Notes() const { return notes_; }

    // Tests only: called by an open of a shared table that found its orders
    // out of step with the table, before it takes the journal lock to set
    // them right. A test pauses the open here while another process commits.
    static void SetBeforeLockHook(std::function<void()> hook);

private:
    struct Bag {
        std::unique_ptr<IndexFile> file;
        std::vector<std::unique_ptr<Order>> orders;
        bool stale = false;  // the file's journal no longer describes memory
    };
    Fault ScanTable();
    Fault Compile(Order& o);
    Fault Build(const std::vector<Order*>& orders);
    Fault BuildBag(Bag& bag);
    Fault RebuildAll();
    Fault KeysOf(const uint8_t* record, uint32_t recno, Order& o, std::string& key, bool& in);
    Fault AddFile(const std::string& path, bool mustExist);
    Fault OpenFile(const std::string& path, bool mustExist, Bag& bag);
    Fault SetAside(const std::string& path, const Fault& why, bool mustExist);
    void Replay(Bag& bag, std::vector<JournalEntry>& entries, bool& trusted);
    Fault ReadOwnJournal(Bag& bag, bool& loaded, Stamp& last);
    bool InStep(const Bag& bag, bool loaded, Stamp last) const;
    Fault SetRight(Bag& bag, bool loaded, Stamp last);
    Fault Replace(Bag& bag, const std::vector<const Order*>& orders);
    Fault ReplaceIfAlone(Bag& bag, const std::vector<const Order*>& orders, bool& alone);
    Fault TakeIn();
    Fault CatchUpHeld();
    Fault LockAll();
    void UnlockAll();
    std::vector<const Order*> Orders(const Bag& bag) const;

    dbf::Table& table_;
    Host host_;
    std::vector<Bag> bags_;
    size_t selected_ = 0;
    bool scanned_ = false;
    std::vector<uint64_t> recHash_;  // per record, as last written
    uint64_t checksum_ = 0;
    uint32_t count_ = 0;           // records the orders know of
    bool rebuildPending_ = false;  // another writer voided the journal
    std::vector<std::string> notes_;
    std::vector<std::string> unopened_;  // index files a shared writer could not open
};

}  // namespace rdd::idx
