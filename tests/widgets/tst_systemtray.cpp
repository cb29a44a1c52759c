// The tray icon's menu and notifications; the offscreen platform has no tray.
#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "widgets/CSystemTray.h"

using vantor::widgets::CSystemTray;

class SystemTrayTest : public QObject {
    Q_OBJECT
private slots:
    // Without a tray the menu must still work: the window uses it too.
    void menuClicksAndDefaultSendCommandsWithoutATray() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        CSystemTray tray;
        QVERIFY(!tray.Create(nullptr, 0x040A, QString(70, QLatin1Char('t')), QIcon(),
                             CSystemTray::kMenuId));
        QVERIFY(!tray.IsEnabled());
        QCOMPARE(tray.Tip().size(), CSystemTray::kMaxTipChars);
        tray.RemoveIcon();  // harmless without an icon
        const QList<QAction*> items = tray.Menu()->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), QStringLiteral("显示窗口..."));
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2]->text(), QStringLiteral("退出"));
        QSignalSpy command(&tray, &CSystemTray::command);
        items[2]->trigger();
        items[0]->trigger();
        QCOMPARE(command.count(), 2);
        QCOMPARE(command.at(0).at(0).toUInt(), 32773u);
        QCOMPARE(command.at(1).at(0).toUInt(), 32771u);
        command.clear();

        // Position 4 of the three items names nothing: a double-click shows
        // the window all the same.
        QVERIFY(!tray.SetDefaultMenuItem(4, true));
        QCOMPARE(tray.Menu()->defaultAction(), nullptr);
        QCOMPARE(tray.HandleNotification(CSystemTray::kMenuId, QSystemTrayIcon::DoubleClick), 1);
        QCOMPARE(command.last().at(0).toUInt(), CSystemTray::kCmdShowWindow);

        QVERIFY(tray.SetDefaultMenuItem(CSystemTray::kCmdExit, false));
        QCOMPARE(tray.Menu()->defaultAction(), items[2]);
        tray.HandleNotification(CSystemTray::kMenuId, QSystemTrayIcon::DoubleClick);
        QCOMPARE(command.last().at(0).toUInt(), CSystemTray::kCmdExit);
        QVERIFY(!tray.SetDefaultMenuItem(1, true));  // the separator

        // Another icon's notification changes nothing.
        QCOMPARE(tray.HandleNotification(7, QSystemTrayIcon::DoubleClick), 0);
        QCOMPARE(command.count(), 2);

        for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context}) {
            QCOMPARE(tray.HandleNotification(CSystemTray::kMenuId, reason), 1);
            QTRY_VERIFY_WITH_TIMEOUT(tray.Menu()->isVisible(), 20000);
            tray.Menu()->hide();
        }
        QCOMPARE(command.count(), 2);
    }
};

QTEST_MAIN(SystemTrayTest)
#include "tst_systemtray.moc"
