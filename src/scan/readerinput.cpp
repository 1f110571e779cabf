#include "scan/readerinput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

#include "platform/gui/burstguard.h"
#include "platform/runtime/settings.h"

namespace scan {
namespace {

QChar DecimalMark() { return QChar(rt::SetDecimalSep()); }

// The middle one of the gaps between a run's keys, the Enter's included.
int64_t MedianGap(std::vector<uint64_t> gaps, uint64_t enter) {
    gaps.push_back(enter);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    return static_cast<int64_t>(gaps[gaps.size() / 2]);
}

}  // namespace

std::string StoredCount(const std::string& typed, char mark) {
    std::string out;
    int marks = 0;
    bool digits = false;
    for (char c : typed) {
        if (c >= '0' && c <= '9') {
            digits = true;
            out += c;
        } else if (c == mark) {
            ++marks;
            out += '.';
        } else {
            return {};
        }
    }
    if (!digits || marks > 1) return {};
    if (out.front() == '.') out = "0" + out;
    if (out.back() == '.') out.pop_back();
    return out;
}

ReaderInput::ReaderInput(QWidget* screen, QLineEdit* barcode, QLineEdit* count, QWidget* button, QWidget* grid,
                         Hooks hooks)
    : screen_(screen), button_(button), grid_(grid), barcode_(barcode), count_(count), hooks_(std::move(hooks)) {
    refusedBell_.setSingleShot(true);
    refusedBell_.setInterval(static_cast<int>(kBurstGapMs) + 10);
    connect(&refusedBell_, &QTimer::timeout, [] { QApplication::beep(); });
}

bool ReaderInput::eventFilter(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::Hide && box_ && receiver == box_) {
        // After the box has gone, once the code that showed it has gone on.
        QTimer::singleShot(0, this, [this] { ReportMissed(); });
        return false;
    }
    if (event->type() != QEvent::KeyPress || forwarding_) return false;
    auto* w = qobject_cast<QWidget*>(receiver);
    if (!w || w != QApplication::focusWidget()) return false;  // a parent's copy
    return KeyPress(w, static_cast<QKeyEvent*>(event));
}

bool ReaderInput::KeyPress(QWidget* w, QKeyEvent* key) {
    if (!screen_ || !barcode_ || !count_ || gui::burst::IsModifier(key->key())) return false;
    QWidget* top = w->window();
    QWidget* modal = QApplication::activeModalWidget();
    // A key sent to a box that has just closed, before the focus is back,
    // is the screen's.
    const bool gone = !top->isVisible();
    const bool inScreen = top == screen_->window() || gone;
    const bool inBox = !inScreen && modal && top == modal;
    if (!inScreen && !inBox) return false;  // another window's keys
    if (missed_ && !(box_ && box_->isVisible())) ReportMissed();

    const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const QString text = key->text();
    const uint64_t at = key->timestamp();
    const bool follows = at != 0 && run_.stamped && !run_.text.isEmpty() && at >= run_.last &&
                         at - run_.last <= static_cast<uint64_t>(kRunGapMs);

    if (plain && !text.isEmpty() && text.at(0).isPrint()) {
        if (follows) refusedBell_.stop();
        else StartRun(w);
        if (follows) run_.gaps.push_back(at - run_.last);
        run_.text += text;
        run_.last = at;
        run_.stamped = run_.stamped && at != 0;
        if (inBox) return false;  // the box's guard decides what it takes
        if (gone || Strays(w)) {
            // A space on the button after a quiet moment is the operator's.
            if (key->key() == Qt::Key_Space && w == button_ && !gui::burst::FollowsClosely(key)) return false;
            Forward(barcode_, key);
            return true;
        }
        if (w == count_ && RefusedByCount(w, text)) {
            refusedBell_.start();
            return true;
        }
        return false;
    }

    const bool enter = plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
    if (enter && follows && run_.text.size() >= kMinBurst && MedianGap(run_.gaps, at - run_.last) <= kBurstGapMs) {
        const std::string code = run_.text.toStdString();
        refusedBell_.stop();
        Restore();
        run_ = {};
        if (inBox) {
            ++missed_;
            lastMissed_ = code;
            box_ = QApplication::activeModalWidget();
            return true;
        }
        if (hooks_.scan) hooks_.scan(code);
        return true;
    }
    run_ = {};
    return false;
}

void ReaderInput::StartRun(QWidget* w) {
    run_ = {};
    run_.barcode = barcode_->text();
    run_.count = count_->text();
    auto* edit = qobject_cast<QLineEdit*>(w);
    if (edit && edit != barcode_ && edit != count_) {
        run_.other = edit;
        run_.otherText = edit->text();
    }
}

void ReaderInput::Restore() {
    // The run's keys went into whichever field had the focus; take them out.
    auto put = [](QLineEdit* edit, const QString& text) {
        if (edit && edit->text() != text) edit->setText(text);
    };
    put(barcode_, run_.barcode);
    put(count_, run_.count);
    put(run_.other, run_.otherText);
}

bool ReaderInput::RefusedByCount(QWidget* w, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(w);
    const QChar mark = DecimalMark();
    QString after = edit->text();
    if (edit->hasSelectedText()) after.remove(edit->selectionStart(), edit->selectedText().size());
    for (QChar c : text) {
        if (!(c.isDigit() && c.unicode() < 128) && c != mark) return true;
    }
    after += text;
    return after.count(mark) > 1;
}

void ReaderInput::Forward(QWidget* to, QKeyEvent* key) {
    to->setFocus(Qt::OtherFocusReason);
    QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                   key->nativeModifiers(), key->text(), key->isAutoRepeat(), key->count());
    forwarding_ = true;
    QCoreApplication::sendEvent(to, &copy);
    forwarding_ = false;
}

bool ReaderInput::Strays(QWidget* w) const {
    if (button_ && w == button_) return true;
    return grid_ && (w == grid_ || grid_->isAncestorOf(w)) && !qobject_cast<QLineEdit*>(w);
}

void ReaderInput::ReportMissed() {
    if (!missed_ || (box_ && box_->isVisible())) return;
    const int count = std::exchange(missed_, 0);
    const std::string last = std::exchange(lastMissed_, {});
    box_ = nullptr;
    if (hooks_.missed) hooks_.missed(count, last);
}

}  // namespace scan
