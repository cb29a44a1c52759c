#include "widgets/CSystemTray.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace vantor::widgets {

CSystemTray::CSystemTray(QObject* parent) : QObject(parent), m_menu(new QMenu) {
    const auto add = [this](const QString& text, unsigned id) {
        QAction* action = m_menu->addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { emit command(id); });
    };
    add(QStringLiteral("显示窗口..."), kCmdShowWindow);
    m_menu->addSeparator();
    add(QStringLiteral("退出"), kCmdExit);
}

CSystemTray::~CSystemTray() {
    RemoveIcon();
    delete m_menu;
}

bool CSystemTray::Create(QWidget* parent, unsigned callbackMessage, const QString& tip,
                         const QIcon& icon, unsigned id) {
    m_target = parent;
    m_callbackMessage = callbackMessage;
    m_tip = tip.left(kMaxTipChars);
    m_iconImage = icon;
    m_id = id;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (m_icon == nullptr) {
        m_icon = new QSystemTrayIcon(this);
        connect(
            m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { HandleNotification(m_id, reason); });
    }
    m_icon->setIcon(m_iconImage);
    m_icon->setToolTip(m_tip);
    m_icon->show();
    m_bEnabled = m_icon->isVisible();
    return m_bEnabled;
}

void CSystemTray::SetIcon(const QIcon& icon) {
    m_iconImage = icon;
    if (m_icon != nullptr) m_icon->setIcon(icon);
}

QAction* CSystemTray::DefaultAction() const {
    const QList<QAction*> actions = m_menu->actions();
    if (m_bDefaultMenuItemByPos) {
        if (m_nDefaultMenuItem >= static_cast<unsigned>(actions.size())) return nullptr;
        QAction* action = actions.at(static_cast<qsizetype>(m_nDefaultMenuItem));
        return action->isSeparator() ? nullptr : action;
    }
    for (QAction* action : actions) {
        if (!action->isSeparator() && action->data().toUInt() == m_nDefaultMenuItem) return action;
    }
    return nullptr;
}

bool CSystemTray::SetDefaultMenuItem(unsigned item, bool byPosition) {
    if (item != m_nDefaultMenuItem || byPosition != m_bDefaultMenuItemByPos) {
        m_nDefaultMenuItem = item;
        m_bDefaultMenuItemByPos = byPosition;
        m_menu->setDefaultAction(DefaultAction());
    }
    return m_menu->defaultAction() != nullptr;
}

void CSystemTray::RemoveIcon() {
    if (!m_bEnabled) return;
    if (m_icon != nullptr) m_icon->hide();
    m_bEnabled = false;
}

int CSystemTray::HandleNotification(unsigned id, QSystemTrayIcon::ActivationReason reason) {
    if (id != m_id) return 0;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
        case QSystemTrayIcon::Context:
            if (m_target != nullptr && m_target->isVisible()) m_target->activateWindow();
            m_menu->popup(QCursor::pos());
            break;
        case QSystemTrayIcon::DoubleClick: {
            // The main window names position 4 of this three-item menu as its
            // default, which is no item at all; rather than a command nobody
            // handles, a double-click then shows the window.
            const QAction* action = DefaultAction();
            emit command(action != nullptr ? action->data().toUInt() : kCmdShowWindow);
            break;
        }
        default:
            break;
    }
    return 1;
}

}  // namespace vantor::widgets
