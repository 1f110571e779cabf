// The error hook and the start-up installations: Error objects built from
// error information blocks, faults raised as blocks reaching DefError, and
// installing the handler once.
#include "errors/errorgen.h"
#include "errors_fixture.h"
#include "platform/runtime/errorinfo.h"
#include "platform/runtime/international.h"
#include "platform/runtime/object.h"

namespace errors_test {
namespace {

rt::ErrorInfo SampleBlock(const rt::ErrorArgList* args) {
    rt::ErrorInfo info;
    info.SubSystem = "DBFCDX";
    info.SubCode = 1010;
    info.GenCode = rt::kGenWrite;
    info.OsCode = 112;
    info.Severity = 2;
    info.CanDefault = 1;
    info.CanRetry = 7;  // any non-zero value is TRUE
    info.Operation = "COMMIT";
    info.Description = "disk full";
    info.FileName = nullptr;
    info.Args = args;
    info.Tries = 3;
    info.FuncSym = rt::Symbol("DBCOMMIT");
    info.FileHandle = 9;
    info.ArgNum = 1;
    info.FuncPtr = &info;
    info.SubCodeText = "write";
    info.Arg = "QZSCAN";
    info.ArgType = rt::kString;
    info.CHOICE = 4;
    info.CallFuncSym = rt::Symbol("APPEND");
    return info;
}

TEST_F(ErrorsTest, DefErrorGenFillsEveryFieldAndKeepsACopyOfTheBlock) {
    rt::Usual values[] = {rt::Usual("a"), rt::Usual(2), rt::Usual()};
    rt::ErrorArgList args{2, 3, 0, values};  // two passed, three declared
    rt::ErrorInfo info = SampleBlock(&args);

    rt::Usual made = errors::DefErrorGen(rt::Usual(rt::Pointer{&info}));
    auto e = std::dynamic_pointer_cast<rt::Error>(made.AsObject());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->SubSystem, "DBFCDX");
    EXPECT_EQ(e->SubCode, 1010u);
    EXPECT_EQ(e->GenCode, 24u);
    EXPECT_EQ(e->OsCode, 112u);
    EXPECT_TRUE(e->CanDefault);
    EXPECT_TRUE(e->CanRetry);
    EXPECT_FALSE(e->CanSubstitute);
    EXPECT_EQ(e->Operation, "COMMIT");
    EXPECT_EQ(e->FileName, "") << "a null text is empty";
    ASSERT_EQ(e->ARGS.ALen(), 3u) << "the larger of the two counts";
    EXPECT_EQ(e->ARGS.At(1), rt::Usual("a"));
    EXPECT_EQ(e->ARGS.At(2), rt::Usual(2));
    EXPECT_EQ(e->Tries, 3u);
    EXPECT_EQ(e->FuncSym, rt::Symbol("DBCOMMIT"));
    EXPECT_EQ(e->FuncPtr.address, &info);
    EXPECT_EQ(e->Arg, "QZSCAN");
    EXPECT_EQ(e->CHOICE, 4u);
    EXPECT_EQ(e->CallFuncSym, rt::Symbol("APPEND"));

    EXPECT_EQ(errors::SavedErrorInfo().GenCode, 24u);
    EXPECT_EQ(errors::SavedErrorInfo().Tries, 3u);
    EXPECT_TRUE(Rec().boxes.empty());
}

TEST_F(ErrorsTest, DefErrorGenWithoutABlockShowsThePlainBox) {
    rt::ErrorInfo before = errors::SavedErrorInfo();
    for (const rt::Usual& arg : {rt::Usual("no block"), rt::Usual(rt::Pointer{nullptr})}) {
        rt::Usual made = errors::DefErrorGen(arg);
        auto e = std::dynamic_pointer_cast<rt::Error>(made.AsObject());
        ASSERT_TRUE(e) << "the object comes back unfilled";
        EXPECT_EQ(e->GenCode, 0u);
    }
    // Win32's plain box of style 0 (an OK button, no icon), not the error box.
    EXPECT_TRUE(Rec().boxes.empty());
    ASSERT_EQ(Rec().plainBoxes.size(), 2u);
    EXPECT_EQ(Rec().plainBoxes[0].text, "Error structure has wrong tag");
    EXPECT_EQ(Rec().plainBoxes[0].caption, "FROM DefErrorGen");
    EXPECT_EQ(Rec().plainBoxes[0].style, 0u);
    EXPECT_EQ(errors::SavedErrorInfo().GenCode, before.GenCode);
}

TEST_F(ErrorsTest, FaultRaisedAsABlockReachesDefErrorThroughTheHook) {
    rt::ErrorFuncFn previous = rt::ErrorFunc();
    errors::InstallErrorHook();
    EXPECT_EQ(rt::ErrorFunc(), &errors::DefErrorGen);
    UseDefError();
    rt::ErrorInfo info = SampleBlock(nullptr);
    rt::Usual answer = rt::RaiseErrorInfo(info);
    rt::ErrorFunc(previous);

    EXPECT_EQ(answer, rt::Usual(false));
    ASSERT_EQ(Rec().boxes.size(), 1u);
    EXPECT_NE(Rec().boxes[0].text.find("Error Code:  24 [ WRITE ERROR ]\r\nSubsystem: DBFCDX\r\n"), std::string::npos);
    EXPECT_NE(Log().find("Tries           :3\r\n"), std::string::npos);
}

TEST_F(ErrorsTest, ErrorBlockIsInstalledOnceWithTheRegionalSettings) {
    rt::_SetIntl(0);
    errors::InstallErrorBlock();
    rt::Usual installed = rt::ErrorBlock();
    ASSERT_TRUE(installed.IsCodeBlock());
    EXPECT_EQ(rt::InternationalMode(), rt::Symbol("WINDOWS"));
    EXPECT_TRUE(rt::SetCentury());
    EXPECT_EQ(rt::SetEpoch(), 1910);

    // Errors now go to DefError.
    rt::RaiseError(OpenError());
    EXPECT_EQ(Rec().boxes.size(), 1u);

    // A second installation changes nothing.
    rt::_SetIntl(0);
    errors::InstallErrorBlock();
    EXPECT_EQ(rt::ErrorBlock().AsCodeBlock(), installed.AsCodeBlock());
    EXPECT_EQ(rt::InternationalMode(), rt::Symbol("LEGACY"));
}

}  // namespace
}  // namespace errors_test
