#include "shell/Trace.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

struct CSample {
    void Method() { TraceLine("message %d", 42); }
};

}  // namespace

TEST(TraceTest, LineIsThreePiecesWithPaddedLineNumber) {
    testsupport::TraceCapture capture;
    CSample().Method();
    auto pieces = capture.Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], "TraceTest.cpp[  10]<CSample::Method>: ");
    EXPECT_EQ(pieces[1], "message 42");
    EXPECT_EQ(pieces[2], "\n");
}

TEST(TraceTest, PrefixFormatsLineNumbers) {
    struct Case {
        int line;
        const char* expected;
    } cases[] = {
        {7, "F.cpp[   7]<C::M>: "},
        {123, "F.cpp[ 123]<C::M>: "},
        {1234, "F.cpp[1234]<C::M>: "},
        {12345, "F.cpp[12345]<C::M>: "},  // five digits widen the field
    };
    for (const Case& c : cases) {
        testsupport::TraceCapture capture;
        trace_detail::LinePrefix("F.cpp", c.line, "void C::M()");
        EXPECT_EQ(capture.Text(), c.expected) << c.line;
    }
}

TEST(TraceTest, QualifiedNameFromSignatures) {
    struct Case {
        const char* pretty;
        const char* expected;
    } cases[] = {
        {"int CServer::OpenServer()", "CServer::OpenServer"},
        {"virtual int32_t CBrevantaPrinter::ProcessJob(std::shared_ptr<CPrintJob>, int)",
         "CBrevantaPrinter::ProcessJob"},
        {"CPrintJob::CPrintJob(std::string, int32_t)", "CPrintJob::CPrintJob"},
        {"void net::CServer::Run()", "CServer::Run"},
        {"std::map<int, std::basic_string<char> > CFoo::Names() const", "CFoo::Names"},
        {"void FreeFunction(int)", "FreeFunction"},
        {"CServer::ServerThread()::<lambda()>", "CServer::ServerThread"},
    };
    for (const Case& c : cases) EXPECT_EQ(trace_detail::QualifiedName(c.pretty), c.expected) << c.pretty;
}

TEST(TraceTest, LongMessageIsCutToTheBuffer) {
    testsupport::TraceCapture capture;
    std::string longText(5000, 'x');
    Trace("%s", longText.c_str());
    ASSERT_EQ(capture.Pieces().size(), 1u);
    EXPECT_EQ(capture.Pieces()[0].size(), 4095u);
}

TEST(TraceDeathTest, ErrorExitWritesItsPiecesAndEndsWithStatusOne) {
    EXPECT_EXIT(
        {
            struct CServer {
                static void Fail() { TraceErrorExit("listen() failed"); }
            };
            CServer::Fail();
        },
        ::testing::ExitedWithCode(1), "\nTraceTest.cpp\\[ *[0-9]+\\]<.*Fail>: ERROR_EXIT\nlisten\\(\\) failed\n\n");
}

TEST(TraceTest, QualifiedNameOfLocalClassesAndOperators) {
    EXPECT_EQ(trace_detail::QualifiedName("virtual void T_Test::TestBody()::CLocal::Run()"), "CLocal::Run");
    EXPECT_EQ(trace_detail::QualifiedName("bool CFoo::operator()(int) const"), "CFoo::operator()");
}
