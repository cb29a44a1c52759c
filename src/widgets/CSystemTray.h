#pragma once
// The server's icon in the desktop's notification area, with its popup menu:
// "显示窗口..." (show the main window), a separator and "退出" (end the server).
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QWidget;

namespace vantor::widgets {

class CSystemTray : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned kCmdShowWindow = 32771;
    static constexpr unsigned kCmdExit = 32773;
    static constexpr unsigned kMenuId = 132;
    static constexpr int kMaxTipChars = 63;

    explicit CSystemTray(QObject* parent = nullptr);
    ~CSystemTray() override;
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // Puts the icon into the tray with the tip (cut to kMaxTipChars). false,
    // and no icon, where the desktop offers no tray. callbackMessage is kept
    // for callers that pass one; notifications arrive through activated().
    bool Create(QWidget* parent, unsigned callbackMessage, const QString& tip, const QIcon& icon,
                unsigned id);
    void SetIcon(const QIcon& icon);
    // Marks the menu's default item, by position or by command id. false when
    // no command item answers to it (nothing is marked then).
    bool SetDefaultMenuItem(unsigned item, bool byPosition);
    // Takes the icon out of the tray (also done on destruction).
    void RemoveIcon();
    bool IsEnabled() const { return m_bEnabled; }
    QMenu* Menu() { return m_menu; }
    unsigned Id() const { return m_id; }
    unsigned CallbackMessage() const { return m_callbackMessage; }
    QString Tip() const { return m_tip; }

    // A click (either button) pops the menu up at the pointer; a double-click
    // runs the default item. 1 when handled, 0 for another icon's id.
    int HandleNotification(unsigned id, QSystemTrayIcon::ActivationReason reason);

signals:
    void command(unsigned id);

private:
    QAction* DefaultAction() const;

    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QWidget> m_target;
    QIcon m_iconImage;
    QString m_tip;
    unsigned m_id = 0;
    unsigned m_callbackMessage = 0;
    bool m_bEnabled = false;
    unsigned m_nDefaultMenuItem = 0;
    bool m_bDefaultMenuItemByPos = false;
};

}  // namespace vantor::widgets
