// The client name table and its mode-change notice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/ClientNames.h"

namespace vantor::engine {
namespace {

using test_support::Numbered;

TEST(ClientNamesTest, RefusesOwnNameDuplicatesAndAFullTableAndReusesAFreedSlot) {
    ClientNames sut;
    sut.Add("Vantor");
    EXPECT_EQ(sut.LastError(), kWrongClientName);
    EXPECT_EQ(sut.Find("Vantor"), -1);
    sut.Add("");
    EXPECT_EQ(sut.Find(""), -1);
    sut.Add("scope");
    sut.Add("scope");
    EXPECT_EQ(sut.LastError(), kClientExists);
    sut.Add("SCOPE");  // case counts
    EXPECT_EQ(sut.Find("scope"), 0);
    EXPECT_EQ(sut.Find("SCOPE"), 1);

    sut.Clear();
    for (int i = 0; i < kMaxClientNames; ++i) sut.Add(Numbered("c", i).c_str());
    sut.Add("late");
    EXPECT_EQ(sut.Find("late"), -1);
    sut.Remove("c3");
    sut.Add("late");
    EXPECT_EQ(sut.Find("late"), 3);
    sut.Clear();
    EXPECT_EQ(sut.Find("late"), -1);
    std::string longName(150, 'x');
    sut.Add(longName.c_str());
    EXPECT_EQ(std::string(sut.Slot(0)), longName.substr(0, 99));
    EXPECT_EQ(sut.Find(longName.c_str()), 0);
}

TEST(ClientNamesTest, NotifyVisitsEveryNamedClientAndNotesTheMissingOnes) {
    ClientNames sut;
    sut.Add("a");
    sut.Add("gone");
    sut.Add("b");
    sut.Remove("a");
    std::vector<std::string> visited;
    int reached = sut.Notify([&](const char* title) {
        visited.emplace_back(title);
        return std::string(title) != "gone";
    });
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(visited, (std::vector<std::string>{"gone", "b"}));
    EXPECT_EQ(sut.LastError(), kClientNotFound);
}

}  // namespace
}  // namespace vantor::engine
