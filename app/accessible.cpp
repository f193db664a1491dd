// SPDX-License-Identifier: MIT
#include "app/accessible.h"

#include <QAbstractButton>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QString>

#include "app/captionbutton.h"
#include "app/picturecontrol.h"

namespace accessible {

namespace {

const char* const kUnavailable = "tavoUnavailable";
const QLatin1String kAnnouncer("tavoAnnouncer");

// The window's one source of spoken messages: an object with no widget, so it has no place on
// screen and none in the Tab cycle.
class Announcer : public QObject {
public:
    explicit Announcer(QWidget* window) : QObject(window) { setObjectName(QString(kAnnouncer)); }
    QString text;
};

// A notification, which a screen reader speaks when it shows. (Qt 6.4 tells a change of name
// or description without the new text, and Orca then says nothing: a showing notification is
// what it speaks, fetching the text itself.)
class AnnouncerInterface : public QAccessibleObject {
public:
    explicit AnnouncerInterface(Announcer* announcer) : QAccessibleObject(announcer) {}

    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(object()->parent());
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? static_cast<Announcer*>(object())->text : QString();
    }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = static_cast<Announcer*>(object())->text.isEmpty();
        return s;
    }
};

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
    if (auto* announcer = dynamic_cast<Announcer*>(object)) {
        return new AnnouncerInterface(announcer);
    }
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
    // Qt installs a factory once, however often it is asked.
    QAccessible::installFactory(factory);
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

void announce(QWidget* window, const QString& text) {
    auto* announcer = dynamic_cast<Announcer*>(
        window->findChild<QObject*>(QString(kAnnouncer), Qt::FindDirectChildrenOnly));
    if (announcer == nullptr) {
        announcer = new Announcer(window);
    }
    if (announcer->text != text) {
        // A client that cached the last message's name refreshes it.
        announcer->text = text;
        QAccessibleEvent renamed(announcer, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
    QAccessibleEvent shown(announcer, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

}  // namespace accessible
