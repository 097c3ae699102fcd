#include "window/ContentView.h"

#include <gtest/gtest.h>

using zqt::ContentView;
using Reach = zqt::TerminalLink::Reach;

TEST(RunState, headerNeverContradictsTheTerminalsOwnReads_table) {
    const struct {
        bool running;
        Reach reach;
        const char* text;
    } cases[] = {
        {true, Reach::Unknown, "Services online"},
        {true, Reach::Reachable, "Services online"},
        {true, Reach::Unreachable, "Services online · terminal not reachable"},
        {false, Reach::Unknown, "Services offline"},
        {false, Reach::Unreachable, "Services offline"},
        {false, Reach::Reachable, "Services offline · terminal still connected"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ContentView::runStateText(c.running, c.reach).toStdString(), c.text)
            << c.running << " " << static_cast<int>(c.reach);
}
