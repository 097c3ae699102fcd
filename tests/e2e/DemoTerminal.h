#pragma once

// The terminal page over a real demo engine serving its API only, shown at 1300 x 900, for the end-to-end tests
// of the page's rows. Members go in reverse order: the page, then the model, then the engine.

#include "api/TokenStore.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"

#include "EngineHarness.h"
#include "TestEnv.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace zqt::test {

// Generous: the test build runs under AddressSanitizer on a small, shared machine.
inline constexpr int kReplyDeadlineMs = 60000;

struct DemoTerminal {
    EngineHarness engine;
    MemoryTokenStore tokens;
    std::unique_ptr<NativeTerminalModel> terminal;
    std::unique_ptr<NativeTerminalView> view;

    // Starts the engine and shows the page over it (call under ASSERT_NO_FATAL_FAILURE).
    void start() {
        engine.env()["ZQT_START_MARKETING"] = "0";
        engine.env()["ZQT_START_PORTAL"] = "0";
        const QString started = engine.up();
        ASSERT_GT(engine.port(), 0) << started.toStdString();
        terminal = std::make_unique<NativeTerminalModel>(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(engine.port())),
                                                         tokens);
        view = std::make_unique<NativeTerminalView>(*terminal);
        view->resize(1300, 900);
        view->show();
    }

    // Presses Demo Login and waits for the token (call under ASSERT_NO_FATAL_FAILURE).
    void demoLogin() {
        QTest::mouseClick(view->findChild<QPushButton*>("demoLoginButton"), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !terminal->session().token().isEmpty(); }, kReplyDeadlineMs))
            << terminal->session().loginError().toStdString();
    }
};

} // namespace zqt::test
