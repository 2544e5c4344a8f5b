#include "screen/announcement.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace screen {

namespace {

QAccessibleInterface* AnnouncementFactory(const QString& className, QObject* object) {
    if (className != QLatin1String(Announcement::staticMetaObject.className())) return nullptr;
    auto* widget = qobject_cast<Announcement*>(object);
    return widget ? new QAccessibleWidget(widget, QAccessible::Notification) : nullptr;
}

}  // namespace

Announcement::Announcement(QWidget* parent) : QWidget(parent) {
    static const bool installed = (QAccessible::installFactory(AnnouncementFactory), true);
    (void)installed;
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 0, 0);
}

void Announcement::Say(const QString& text) {
    text_ = text;
    if (queued_) return;
    queued_ = true;
    // After the change that prompted it, and after what that change queued
    // to tell in turn (a grid tells its new texts when the event is handled):
    // a reader drops a notification that waits behind a flood of events.
    const auto show = [this] {
        queued_ = false;
        setAccessibleName(text_);
        // Shown again, so that a reader hears it even when the text is the same.
        hide();
        this->show();
    };
    QMetaObject::invokeMethod(
        this, [this, show] { QMetaObject::invokeMethod(this, show, Qt::QueuedConnection); },
        Qt::QueuedConnection);
}

}  // namespace screen
