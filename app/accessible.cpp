// SPDX-License-Identifier: MIT
#include "app/accessible.h"

#include <QAbstractButton>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QString>

#include "app/captionbutton.h"
#include "app/groupframe.h"
#include "app/picturecontrol.h"

namespace accessible {

namespace {

const char* const kUnavailable = "tavoUnavailable";
const QLatin1String kAnnouncer("tavoAnnouncer");

// The spoken messages' source: no widget, so no place on screen or in the Tab cycle.
class Announcer : public QObject {
public:
    explicit Announcer(QWidget* window) : QObject(window) { setObjectName(QString(kAnnouncer)); }
    QString text;
};

// A notification, which a screen reader speaks as it shows. (Qt 6.4 tells a change of name
// without the new text, and Orca then says nothing.)
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

// Switches and reels (an animation, whose name a screen reader speaks without a role word).
// Only a keyboard draw gives them the focus, never Tab or the mouse; they report it then.
class PictureInterface : public QAccessibleWidget {
public:
    explicit PictureInterface(PictureControl* control)
        : QAccessibleWidget(control, control->role() == PictureControl::Role::Switch
                                         ? QAccessible::Button
                                         : QAccessible::Animation) {}

    // Only what changed, while a draw holds the focus here (without a description Qt offers
    // the tip).
    QString text(QAccessible::Text t) const override {
        if (!control()->focusedByDraw() ||
            (t != QAccessible::Name && t != QAccessible::Description)) {
            return QAccessibleWidget::text(t);
        }
        return t == QAccessible::Name ? control()->briefName() : QString();
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
    // Queued: a first press lasts the whole draw, and a screen reader's call must not wait.
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

// The command buttons, with their availability and a Press that returns before printing.
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

// A frame, as with a style's group box: a grouping named by its caption.
class GroupInterface : public QAccessibleWidget {
public:
    explicit GroupInterface(GroupFrame* frame) : QAccessibleWidget(frame, QAccessible::Grouping) {}
    QString text(QAccessible::Text t) const override {
        const QString s = QAccessibleWidget::text(t);
        return t == QAccessible::Name && s.isEmpty() ? static_cast<GroupFrame*>(widget())->title()
                                                     : s;
    }
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
    if (className == QLatin1String("GroupFrame")) {
        return new GroupInterface(static_cast<GroupFrame*>(object));
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
