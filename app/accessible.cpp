// SPDX-License-Identifier: MIT
#include "app/accessible.h"

#include <QAbstractButton>
#include <QAccessibleWidget>

#include "app/captionbutton.h"
#include "app/picturecontrol.h"

namespace accessible {

namespace {

const char* const kUnavailable = "tavoUnavailable";

QAccessible::State withAvailability(QAccessible::State state, const QWidget* w) {
    state.disabled = state.disabled || isUnavailable(w);
    return state;
}

// Switches and reels (a reel is an animation: it spins through the pictures, and a screen
// reader then speaks its name without a role word). Their focus policy stays Qt::NoFocus, so Tab
// and the mouse never give them the focus; only a draw started from the keyboard does, and then
// they report it.
class PictureInterface : public QAccessibleWidget {
public:
    explicit PictureInterface(PictureControl* control)
        : QAccessibleWidget(control, control->role() == PictureControl::Role::Switch
                                         ? QAccessible::Button
                                         : QAccessible::Animation) {}

    // A control that a draw gives the focus says only what changed: its label and help once
    // per stop would fall behind the stops (and without a description Qt offers the tip).
    QString text(QAccessible::Text t) const override {
        if (control()->focusedByDraw() && t == QAccessible::Description) {
            return QString();
        }
        if (control()->focusedByDraw() && t == QAccessible::Name) {
            return control()->briefName();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.focusable = true;
        s.focused = widget()->hasFocus();
        return withAvailability(s, widget());
    }
    QStringList actionNames() const override {
        return isSwitch() ? QStringList(pressAction()) : QStringList();
    }
    // The press runs from the event loop: a first press lasts the whole draw, and a screen
    // reader's call must not wait for it.
    void doAction(const QString& action) override {
        if (isSwitch() && action == pressAction()) {
            control()->trigger();
        }
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        if (!isSwitch() || action != pressAction() || control()->shortcut().isEmpty()) {
            return {};
        }
        return {control()->shortcut().toString(QKeySequence::PortableText)};
    }

private:
    PictureControl* control() const { return static_cast<PictureControl*>(widget()); }
    bool isSwitch() const { return control()->role() == PictureControl::Role::Switch; }
};

// The four command buttons: Qt's own button, plus the availability, and a Press that returns
// before the command runs (printing may take a while).
class CommandInterface : public QAccessibleWidget {
public:
    explicit CommandInterface(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return button()->text();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->isDown();
        return withAvailability(s, widget());
    }
    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            QMetaObject::invokeMethod(button(), &QAbstractButton::click, Qt::QueuedConnection);
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("PictureControl")) {
        return new PictureInterface(static_cast<PictureControl*>(object));
    }
    if (className == QLatin1String("CaptionButton")) {
        return new CommandInterface(static_cast<CaptionButton*>(object));
    }
    return nullptr;
}

}  // namespace

void install() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

void setUnavailable(QWidget* control, bool unavailable) {
    if (isUnavailable(control) == unavailable) {
        return;
    }
    control->setProperty(kUnavailable, unavailable);
    QAccessible::State changed;
    changed.disabled = true;
    QAccessibleStateChangeEvent event(control, changed);
    QAccessible::updateAccessibility(&event);
}

bool isUnavailable(const QWidget* control) {
    return control->property(kUnavailable).toBool();
}

}  // namespace accessible
