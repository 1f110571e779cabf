#include <gtest/gtest.h>

#include <cstdio>

#include "platform/runtime/error.h"
#include "platform/runtime/object.h"

using namespace rt;

namespace {

int gAxitCalls = 0;

class Counter : public Object {
    QZ_OBJECT(Counter)
public:
    int64_t Add(int64_t n) { return total_ += n; }
    int64_t Total() const { return total_; }
    int64_t SetTotal(int64_t v) { return total_ = v; }
    void Axit() override { ++gAxitCalls; }
    std::string label = "counter";

private:
    int64_t total_ = 0;
};

class Child : public Counter {
    QZ_OBJECT(Child)
public:
    std::string Hello() const { return "hi"; }
};

const ClassDef& Counter::StaticClass() {
    static const ClassDef& c = ClassBuilder<Counter>("COUNTER")
                                   .Method<&Counter::Add>("ADD")
                                   .Access<&Counter::Total>("TOTAL")
                                   .Assign<&Counter::SetTotal>("TOTAL")
                                   .IVar<&Counter::label>("LABEL")
                                   .Slot("CARGO")
                                   .Done();
    return c;
}

const ClassDef& Child::StaticClass() {
    static const ClassDef& c =
        ClassBuilder<Child>("CHILD", &Counter::StaticClass()).Method<&Child::Hello>("HELLO").Done();
    return c;
}

// Installs an error block that records the errors it receives.
struct RecordingBlock {
    std::vector<ErrorRef> seen;
    Usual previous;
    RecordingBlock() {
        previous = ErrorBlock(Usual::Block([this](Args a) {
            seen.push_back(std::dynamic_pointer_cast<Error>(a[0].AsObject()));
            return Usual(false);
        }));
    }
    ~RecordingBlock() { ErrorBlock(previous); }
};

}  // namespace

TEST(Object, LateBoundCallsReachTheSameMembers) {
    Child::StaticClass();
    Usual o(New<Child>());
    EXPECT_EQ(Send(o, "add", {5}).AsLong(), 5);
    EXPECT_EQ(Send(o, "ADD", {2}).AsLong(), 7);
    EXPECT_EQ(IVarGet(o, Symbol("TOTAL")).AsLong(), 7);        // access
    EXPECT_EQ(IVarPut(o, Symbol("total"), 1).AsLong(), 1);     // assign returns the stored value
    EXPECT_EQ(static_cast<Child&>(*o.AsObject()).Total(), 1);  // the C++ member sees it
    EXPECT_EQ(Send(o, "HELLO").AsStr(), "hi");
    IVarPut(o, Symbol("LABEL"), "new");
    EXPECT_EQ(static_cast<Child&>(*o.AsObject()).label, "new");
    IVarPut(o, Symbol("cargo"), 9);
    EXPECT_EQ(IVarGet(o, Symbol("CARGO")).AsLong(), 9);
    EXPECT_TRUE(IsMethod(o, Symbol("ADD")));
    EXPECT_FALSE(IsMethod(o, Symbol("TOTAL")));
    EXPECT_TRUE(IsAccess(o, Symbol("TOTAL")));
    EXPECT_TRUE(IsAssign(o, Symbol("TOTAL")));
    EXPECT_TRUE(IsInstanceOf(o, Symbol("COUNTER")));
    EXPECT_TRUE(IsInstanceOf(o, Symbol("child")));
    EXPECT_FALSE(IsInstanceOf(o, Symbol("ERROR")));
}

TEST(Object, MissingMembersRaiseErrors) {
    RecordingBlock block;
    Usual o(New<Counter>());
    EXPECT_EQ(Send(o, "NOPE").AsLogic(), false);
    IVarGet(o, Symbol("NOSUCH"));
    Send(Usual(3), "ADD", {1});
    CreateInstance(Symbol("NOCLASS"));
    EXPECT_EQ(Send(o, "ADD", {"five"}).AsLong(), 0);  // argument error; goes on with 0
    ASSERT_EQ(block.seen.size(), 5u);
    EXPECT_EQ(block.seen[0]->GenCode, kGenNoMethod);
    EXPECT_EQ(block.seen[0]->FuncSym, Symbol("NOPE"));
    EXPECT_EQ(block.seen[1]->GenCode, kGenNoVarMethod);
    EXPECT_EQ(block.seen[2]->ArgType, kLong);
    EXPECT_EQ(block.seen[3]->GenCode, kGenNoClass);
    EXPECT_EQ(block.seen[4]->GenCode, kGenArg);
    EXPECT_EQ(block.seen[4]->ArgNum, 1u);
    EXPECT_EQ(block.seen[4]->ArgType, kString);
    EXPECT_EQ(block.seen[4]->ArgTypeReq, kLong);
}

TEST(Object, ANullObjectReferenceIsNoTarget) {
    // NULL_OBJECT holds the object type but no object: every late-bound
    // operation on it is an error, never a dereference.
    RecordingBlock block;
    Usual null{ObjectRef{}};
    ASSERT_TRUE(null.IsObject());
    EXPECT_TRUE(Send(null, "ADD", {1}).IsLogic());
    EXPECT_TRUE(IVarGet(null, Symbol("TOTAL")).IsLogic());
    EXPECT_TRUE(IVarPut(null, Symbol("TOTAL"), 1).IsLogic());
    EXPECT_FALSE(IsMethod(null, Symbol("ADD")));
    EXPECT_FALSE(IsAccess(null, Symbol("TOTAL")));
    EXPECT_FALSE(IsAssign(null, Symbol("TOTAL")));
    ASSERT_EQ(block.seen.size(), 3u);
    EXPECT_EQ(block.seen[0]->GenCode, kGenNoMethod);
    EXPECT_EQ(block.seen[0]->ArgType, kObject);
    EXPECT_EQ(block.seen[1]->GenCode, kGenNoVarMethod);
    EXPECT_EQ(block.seen[2]->GenCode, kGenNoVarMethod);
}

TEST(Object, CreateInstanceByNameAndFinalisers) {
    Counter::StaticClass();
    gAxitCalls = 0;
    {
        Usual o = CreateInstance(Symbol("COUNTER"));
        ASSERT_TRUE(o.IsObject());
        o.AsObject()->RegisterAxit();
        Usual second = o;  // two holders, one object
    }
    EXPECT_EQ(gAxitCalls, 1);
    {
        auto c = New<Counter>();
        c->RegisterAxit();
        c->UnRegisterAxit();
    }
    EXPECT_EQ(gAxitCalls, 1);
}

TEST(Error, FieldsByNameInDeclaredOrder) {
    Usual e = CreateInstance(Symbol("ERROR"));
    ASSERT_TRUE(IsInstanceOf(e, Symbol("ERROR")));
    const auto& ivars = e.AsObject()->Class().ivars;
    ASSERT_EQ(ivars.size(), 27u);
    EXPECT_EQ(ivars.front().name.Name(), "SUBSYSTEM");
    EXPECT_EQ(ivars[23].name.Name(), "CHOICE");
    EXPECT_EQ(ivars.back().name.Name(), "METHODSELF");
    EXPECT_EQ(IVarGet(e, Symbol("GenCode")).AsLong(), 0);  // a new error is all empty
    EXPECT_EQ(IVarGet(e, Symbol("FileName")).AsStr(), "");
    IVarPut(e, Symbol("GenCode"), 21);
    IVarPut(e, Symbol("FuncSym"), Symbol("DBCREATE"));
    EXPECT_EQ(std::static_pointer_cast<Error>(e.AsObject())->GenCode, 21u);
    EXPECT_EQ(IVarGet(e, Symbol("FUNCSYM")).AsSymbol().Name(), "DBCREATE");
}

namespace {
void Deep(int n) {
    if (n < 0) return;
    if (n == 0) LabelJump(Usual("deep"));
    Deep(n - 1);
}
}  // namespace

TEST(Error, RecoveryScopesUnwindNestedCalls) {
    std::string got;
    bool normal = BeginSequence([] { Deep(5); }, [&](const Usual& v) { got = v.AsStr(); });
    EXPECT_FALSE(normal);
    EXPECT_EQ(got, "deep");
    EXPECT_FALSE(CanBreak());
    // The inner scope takes the break; the outer one ends normally.
    int inner = 0;
    bool outerNormal = BeginSequence([&] {
        EXPECT_TRUE(CanBreak());
        BeginSequence([] { LabelJump(1); }, [&](const Usual& v) { inner = int(v.AsLong()); });
    });
    EXPECT_TRUE(outerNormal);
    EXPECT_EQ(inner, 1);
}

TEST(Error, ThrowEvaluatesTheErrorBlock) {
    RecordingBlock block;
    auto e = MakeError(kGenOpen, "open");
    Usual answer = e->THROW();
    EXPECT_FALSE(answer.AsLogic());
    ASSERT_EQ(block.seen.size(), 1u);
    EXPECT_EQ(block.seen[0], e);
    Usual viaSend = Send(Usual(ObjectRef(e)), "THROW");
    EXPECT_EQ(block.seen.size(), 2u);
}

TEST(Error, AQuitEnteredAgainFromItsHandlersFinishesOnce) {
    auto quit = [] {
        AddQuitHandler([] { std::fputs("first;", stderr); });
        AddQuitHandler([] {
            std::fputs("second;", stderr);
            ErrorLevel(7);
            _Quit();  // a table that fails to close, answered with Quit
        });
        SetProcessExit([](int code) { std::fprintf(stderr, "exit %d;", code); });
        _Quit();
    };
    EXPECT_EXIT(quit(), testing::ExitedWithCode(7), "^second;first;exit 7;$");
}
