#include "about/showreadme.h"

#include <QMetaObject>
#include <QPointer>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextEdit>

#include "export/replacefile.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/resource.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"

namespace about {
namespace {

rt::Usual ProgramIcon() {
    // The program icon class lives in the application; the same picture
    // serves when it has not been registered.
    static const rt::Symbol kIcon("__AAAICON");
    if (rt::FindClass(kIcon)) return rt::CreateInstance(kIcon);
    return rt::Usual(rt::New<gui::Icon>("__AAAICON"));
}

}  // namespace

const rt::ClassDef& ShowReadme::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ShowReadme>("SHOWREADME", &gui::DataDialog::StaticClass())
                                       .IVar<&ShowReadme::richEdit_>("RICHEDIT1")
                                       .IVar<&ShowReadme::okButton_>("PBOKAY")
                                       .IVar<&ShowReadme::save_>("LSAVE")
                                       .Method<&ShowReadme::POS2ENDOFMEMO>("POS2ENDOFMEMO")
                                       .Method<&ShowReadme::PBOKAY>("PBOKAY")
                                       .Done();
    return c;
}

void ShowReadme::Build(rt::Args args) {
    // INIT(owner, control id, data server, extra value).
    auto arg = [&](size_t i) { return i < args.size() ? args[i] : rt::Usual(); };
    const rt::Usual base[] = {arg(0), rt::Usual("ShowReadMe"), arg(1)};
    gui::DataDialog::Build(rt::Args(base, 3));

    gui::DialogTemplate fontOnly;
    fontOnly.fontFace = "Microsoft Sans Serif";
    fontOnly.fontPoints = 10;

    richEdit_ = gui::MakeControl<gui::RichEdit>(*this, 100);
    richEdit_->SetName(rt::Symbol("RICHEDIT1"));
    richEdit_->Widget()->setFont(gui::DialogFont(fontOnly));
    richEdit_->SetReadOnly(true);
    if (QTextEdit* e = richEdit_->Editor()) e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    okButton_ = gui::MakeControl<gui::PushButton>(*this, 101);
    okButton_->SetName(rt::Symbol("PBOKAY"));
    okButton_->SetCaption("OK");

    SetCaption("Additional Program Information");
    Widget()->setObjectName(QStringLiteral("SHOWREADME"));
    SetIcon(ProgramIcon());
    SetIconSm(ProgramIcon());
    if (arg(2).IsObject()) Use(arg(2));
}

void ShowReadme::PostInit(rt::Args) {
    save_ = false;
    const bool exists = rt::File(kReadmeFile);
    std::string bytes = exists ? rt::MemoRead(kReadmeFile) : std::string("\r\n") + kNoNotes;
    // A read-me that is there but could not be read (held by another
    // program, a read error) is never saved over: the editor holds nothing
    // of it, and OK would write that nothing in place of the notes.
    const bool unread = exists && rt::FError() != 0;
    // Saved back with the line ends and the character set it was read with:
    // a text that is not UTF-8 is taken byte for byte (Latin-1), so that no
    // byte is lost on the way through the editor. A byte order mark stays
    // in the text (it shows as nothing) and is written back with it.
    crlf_ = bytes.find("\r\n") != std::string::npos || bytes.find('\n') == std::string::npos;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8(QByteArray::fromStdString(bytes));
    latin1_ = utf8.hasError();
    if (latin1_) text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (QTextEdit* e = richEdit_->Editor()) e->setPlainText(text);
    POS2ENDOFMEMO();
    if (!unread && rt::File(kMarkerFile)) {
        save_ = true;
        richEdit_->SetReadOnly(false);
        // The operator types into the text at once.
        if (QTextEdit* e = richEdit_->Editor()) e->setFocus(Qt::OtherFocusReason);
    }
}

void ShowReadme::POS2ENDOFMEMO() {
    QPointer<QTextEdit> editor = richEdit_ ? richEdit_->Editor() : nullptr;
    if (!editor) return;
    QMetaObject::invokeMethod(
        editor,
        [editor] {
            if (!editor) return;
            QTextCursor c = editor->textCursor();
            c.movePosition(QTextCursor::End);
            editor->setTextCursor(c);
            editor->ensureCursorVisible();
        },
        Qt::QueuedConnection);
}

void ShowReadme::PBOKAY() {
    if (save_) {
        QString text = richEdit_->Editor() ? richEdit_->Editor()->toPlainText() : QString();
        if (crlf_) text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        QByteArray bytes = latin1_ ? text.toLatin1() : text.toUtf8();
        // The file is replaced whole or not at all; a failure keeps the
        // window open with the operator's text in it.
        if (int err = exportdata::ReplaceFileContent(kReadmeFile, std::string_view(bytes.constData(), bytes.size()))) {
            gui::WarningBox(rt::Usual(Self()), "README NOT SAVED",
                            std::string("Unable to save ") + kReadmeFile + ". " + rt::DosErrString(err) +
                                " Your changes are still in the window.")
                .Show();
            return;
        }
    }
    EndWindow();
}

}  // namespace about
