#include <gtest/gtest.h>

#include <windows.h>
#include <ddeml.h>

#include <cstring>
#include <string>
#include <vector>

#include "install_session.h"
#include "program_group.h"
#include "progman_server.h"

namespace {

class ProgramGroupTest : public WithProgmanServer<::testing::Test> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(serverReached) << "the test's PROGMAN server is not the one that answers";
        ASSERT_EQ(DMLERR_NO_ERROR, DdeInitializeA(&session.ddeInstance, DdeCallback, 0, 0));
        server->Refuse(nullptr);
        server->Clear();
    }
    void TearDown() override
    {
        if (session.ddeInstance)
            DdeUninitialize(session.ddeInstance);
        session.ddeInstance = 0;
    }

    static std::vector<std::string> Texts()
    {
        std::vector<std::string> texts;
        for (const ExecutedCommand& c : server->Commands())
            texts.push_back(c.data.c_str());
        return texts;
    }
};

struct SequenceCase {
    const char* directory;
    int newShell;
    std::vector<std::string> expected;
};

TEST_F(ProgramGroupTest, SendsTheTwelveCommandsEachInItsOwnConversation)
{
    const SequenceCase cases[] = {
        {"c:\\vexa", 0,
         {"[CreateGroup(\"Vexa\")]",
          "[ShowGroup(\"Vexa\",1)]",
          "[ReplaceItem(\"Vexa32\")]",
          "[AddItem(\"c:\\vexa\\Vexa32.exe\",\"Vexa32\",,0,,,\"c:\\vexa\")]",
          "[ReplaceItem(\"Vexa Help\")]",
          "[AddItem(\"c:\\vexa\\Vexa.hlp\",\"Vexa Help\",,0,,,\"c:\\vexa\")]",
          "[ReplaceItem(\"IRC Intro\")]",
          "[AddItem(\"c:\\vexa\\IRCintro.hlp\",\"IRC Intro\",,0,,,\"c:\\vexa\")]",
          "[ReplaceItem(\"Readme.txt\")]",
          "[AddItem(\"c:\\vexa\\readme.txt\",\"Readme.txt\",\"write.exe\",0,,,\"c:\\vexa\")]",
          "[ReplaceItem(\"Versions.txt\")]",
          "[AddItem(\"c:\\vexa\\versions.txt\",\"Versions.txt\",\"write.exe\",0,,,\"c:\\vexa\")]"}},
        // The newer shell: no icon for the text items. A directory with
        // spaces and a trailing backslash goes in unchanged.
        {"d:\\program files\\vexa\\", 1,
         {"[CreateGroup(\"Vexa\")]",
          "[ShowGroup(\"Vexa\",1)]",
          "[ReplaceItem(\"Vexa32\")]",
          "[AddItem(\"d:\\program files\\vexa\\\\Vexa32.exe\",\"Vexa32\",,0,,,\"d:\\program files\\vexa\\\")]",
          "[ReplaceItem(\"Vexa Help\")]",
          "[AddItem(\"d:\\program files\\vexa\\\\Vexa.hlp\",\"Vexa Help\",,0,,,\"d:\\program files\\vexa\\\")]",
          "[ReplaceItem(\"IRC Intro\")]",
          "[AddItem(\"d:\\program files\\vexa\\\\IRCintro.hlp\",\"IRC Intro\",,0,,,\"d:\\program files\\vexa\\\")]",
          "[ReplaceItem(\"Readme.txt\")]",
          "[AddItem(\"d:\\program files\\vexa\\\\readme.txt\",\"Readme.txt\",,,,,\"d:\\program files\\vexa\\\")]",
          "[ReplaceItem(\"Versions.txt\")]",
          "[AddItem(\"d:\\program files\\vexa\\\\versions.txt\",\"Versions.txt\",,,,,\"d:\\program files\\vexa\\\")]"}},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.directory);
        server->Clear();
        std::strcpy(session.destinationDir, c.directory);
        session.newShell = c.newShell;

        EXPECT_EQ(1, CreateProgramGroup());

        std::vector<ExecutedCommand> sent = server->Commands();
        ASSERT_EQ(c.expected.size(), sent.size());
        for (size_t i = 0; i < sent.size(); ++i) {
            // The data is the text and its terminating NUL, nothing more.
            EXPECT_EQ(c.expected[i] + '\0', sent[i].data) << "command " << i + 1;
        }
        EXPECT_EQ(12, server->Connections());
    }
}

struct RefusalCase {
    const char* refused;   // commands starting with this are refused
    int result;
    size_t sent;
    const char* last;      // the last command sent
};

TEST_F(ProgramGroupTest, StopsAtTheFirstRefusedCommandWhoseResultCounts)
{
    const RefusalCase cases[] = {
        {"[CreateGroup(", 0, 1, "[CreateGroup(\"Vexa\")]"},
        {"[ShowGroup(", 1, 12, "[AddItem(\"c:\\vexa\\versions.txt\",\"Versions.txt\",\"write.exe\",0,,,\"c:\\vexa\")]"},
        {"[ReplaceItem(", 1, 12, "[AddItem(\"c:\\vexa\\versions.txt\",\"Versions.txt\",\"write.exe\",0,,,\"c:\\vexa\")]"},
        {"[AddItem(\"c:\\vexa\\Vexa32.exe\"", 0, 4, "[AddItem(\"c:\\vexa\\Vexa32.exe\",\"Vexa32\",,0,,,\"c:\\vexa\")]"},
        {"[AddItem(\"c:\\vexa\\Vexa.hlp\"", 0, 6, "[AddItem(\"c:\\vexa\\Vexa.hlp\",\"Vexa Help\",,0,,,\"c:\\vexa\")]"},
        {"[AddItem(\"c:\\vexa\\versions.txt\"", 0, 12,
         "[AddItem(\"c:\\vexa\\versions.txt\",\"Versions.txt\",\"write.exe\",0,,,\"c:\\vexa\")]"},
    };
    std::strcpy(session.destinationDir, "c:\\vexa");
    session.newShell = 0;
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.refused);
        server->Clear();
        std::string prefix = c.refused;
        server->Refuse([prefix](const std::string& text) { return text.compare(0, prefix.size(), prefix) == 0; });

        EXPECT_EQ(c.result, CreateProgramGroup());

        std::vector<std::string> texts = Texts();
        ASSERT_EQ(c.sent, texts.size());
        EXPECT_EQ(c.last, texts.back());
    }
}

TEST_F(ProgramGroupTest, WithoutADdeInstanceNothingIsSent)
{
    DdeUninitialize(session.ddeInstance);
    session.ddeInstance = 0;
    std::strcpy(session.destinationDir, "c:\\vexa");

    EXPECT_EQ(0, SendProgmanCommand("[CreateGroup(\"Vexa\")]"));
    EXPECT_EQ(0, CreateProgramGroup());
    EXPECT_TRUE(server->Commands().empty());
    EXPECT_EQ(0, server->Connections());
}

TEST_F(ProgramGroupTest, TheLongestDirectoryFitsTheCommandBuffer)
{
    // 299 characters: the longest the dialog accepts. The longest command
    // then takes 658 characters and its NUL.
    std::string directory = "c:\\" + std::string(296, 'd');
    std::strcpy(session.destinationDir, directory.c_str());
    session.newShell = 0;

    EXPECT_EQ(1, CreateProgramGroup());

    std::vector<ExecutedCommand> sent = server->Commands();
    ASSERT_EQ(12u, sent.size());
    std::string longest = "[AddItem(\"" + directory + "\\versions.txt\",\"Versions.txt\",\"write.exe\",0,,,\"" +
                          directory + "\")]";
    ASSERT_EQ(658u, longest.size());
    EXPECT_EQ(longest + '\0', sent[11].data);
}

}  // namespace
