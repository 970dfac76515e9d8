#include "client/qt/form_shortcuts.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace tarrow::qt {

FormShortcuts::FormShortcuts(QWidget& window) : QObject(&window), window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

FormShortcuts::~FormShortcuts() { QCoreApplication::instance()->removeEventFilter(this); }

QAction* FormShortcuts::actionFor(QKeyCombination keys) const {
    for (QAction* action : actions_) {
        if (action->isEnabled() && action->shortcut().count() == 1 && action->shortcut()[0] == keys) {
            return action;
        }
    }
    return nullptr;
}

bool FormShortcuts::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return false;
    if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != &window_) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    QAction* action = actionFor(key->keyCombination());
    if (!action) return false;
    if (type == QEvent::ShortcutOverride) {
        // Claiming the override keeps the shortcut map (and its ambiguities) out of it;
        // the key press that follows comes here and runs the action.
        event->accept();
        return true;
    }
    if (!key->isAutoRepeat()) action->trigger();
    return true;
}

}  // namespace tarrow::qt
