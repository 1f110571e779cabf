// The keys that reach the scanning screen, sorted into reader scans and the
// operator's typing.
//
// A keyboard-wedge reader types a whole code and Enter, one key every few
// milliseconds; a person's keys come tens of milliseconds apart at the very
// least. Keys pressed within kRunGapMs of each other make a run; a run of at
// least kMinBurst printable keys ended by Enter, whose middle gap between
// keys (the median, so that a busy machine's odd late key does not split a
// scan) is at most kBurstGapMs, is a reader scan: the keys went where the
// focus was (they are taken out again) and the code is handed to the screen
// whole. So a scan never joins text already in a field, and never lands in
// the count field. Timing comes from the window system's key time stamps;
// keys without one (sent by the program itself or by tests) are typing.
//
// A scan whose keys went to a box (a modal window over the screen, which
// swallows them) is counted instead; once that box has closed the screen
// hears how many there were and which came last.
//
// Besides, printable keys that reach the "End Scanning" button, the grid
// (outside a cell editor) or a box that has just closed belong to the next
// barcode and go to the barcode field, and the count field takes only
// digits and the regional decimal mark: any other key is refused with the
// bell.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QKeyEvent;
class QLineEdit;
class QWidget;

namespace scan {

inline constexpr int64_t kBurstGapMs = 30;
inline constexpr int64_t kRunGapMs = 100;
inline constexpr int kMinBurst = 4;

class ReaderInput : public QObject {
public:
    struct Hooks {
        std::function<void(const std::string& code)> scan;               // a whole reader scan
        std::function<void(int count, const std::string& last)> missed;  // scans a box swallowed
    };
    ReaderInput(QWidget* screen, QLineEdit* barcode, QLineEdit* count, QWidget* button, QWidget* grid, Hooks hooks);

    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    // The keys of the run so far, and what the line edits held before it.
    struct Run {
        QString text;
        uint64_t last = 0;           // time stamp of its latest key
        std::vector<uint64_t> gaps;  // between its keys
        bool stamped = true;
        QPointer<QLineEdit> other;  // a cell editor that had the focus
        QString barcode, count, otherText;
    };

    bool KeyPress(QWidget* w, QKeyEvent* key);
    void StartRun(QWidget* w);
    void Restore();
    bool RefusedByCount(QWidget* w, const QString& text);
    void Forward(QWidget* to, QKeyEvent* key);
    bool Strays(QWidget* w) const;
    void ReportMissed();

    QPointer<QWidget> screen_, button_, grid_;
    QPointer<QLineEdit> barcode_, count_;
    Hooks hooks_;
    Run run_;
    bool forwarding_ = false;
    QTimer refusedBell_;     // rings unless the refused key turns out to be a reader's
    QPointer<QWidget> box_;  // the box that swallowed scans
    int missed_ = 0;
    std::string lastMissed_;
};

// The count as the table stores it: digits with at most one decimal mark
// (the regional one, `mark`), written with a decimal point ("2,5" under a
// decimal comma is "2.5"; ",5" is "0.5"; "5," is "5"). Empty when the text
// is not such a number.
std::string StoredCount(const std::string& typed, char mark);

}  // namespace scan
