// The form's own shortcuts come before the keys of the focused control and before the
// mnemonics of labels and menu titles: Alt+F moves to the Function list rather than opening
// the File menu, and Ctrl+C switches the mode even while an edit box has the focus.
#pragma once

#include <QAction>
#include <QKeyCombination>
#include <QList>
#include <QObject>
#include <QWidget>

namespace tarrow::qt {

class FormShortcuts final : public QObject {
public:
    // Watches the key events of every widget inside window.
    explicit FormShortcuts(QWidget& window);
    ~FormShortcuts() override;
    // Routes the action's own shortcut; the action keeps it for display in menus.
    void add(QAction* action) { actions_.append(action); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* actionFor(QKeyCombination keys) const;

    QWidget& window_;
    QList<QAction*> actions_;
};

}  // namespace tarrow::qt
