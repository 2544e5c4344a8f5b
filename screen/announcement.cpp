#include "screen/announcement.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QEvent>
#include <QStringList>

namespace screen {

namespace {

QAccessibleInterface* AnnouncementFactory(const QString& className, QObject* object) {
    if (className != QLatin1String(Announcement::staticMetaObject.className())) return nullptr;
    auto* widget = qobject_cast<Announcement*>(object);
    return widget ? new QAccessibleWidget(widget, QAccessible::Notification) : nullptr;
}

// Posted twice: the first time round only posts it again.
const QEvent::Type kWait = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kSay = static_cast<QEvent::Type>(QEvent::registerEventType());

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
    Queue();
}

void Announcement::SayFirst(const QString& text) {
    first_ = text;
    Queue();
}

void Announcement::Queue() {
    if (queued_) return;
    queued_ = true;
    // After the change that prompted it, and after what that change queued
    // to tell in turn (a grid tells its new texts when the event is handled):
    // a reader drops a notification that waits behind a flood of events.
    QCoreApplication::postEvent(this, new QEvent(kWait));
}

bool Announcement::event(QEvent* event) {
    if (event->type() == kWait) {
        QCoreApplication::postEvent(this, new QEvent(kSay));
        return true;
    }
    if (event->type() == kSay) {
        queued_ = false;
        QStringList parts;
        for (const QString& part : {first_, text_})
            if (!part.isEmpty()) parts << part;
        first_.clear();
        text_.clear();
        setAccessibleName(parts.join(QLatin1Char(' ')));
        // Shown again, so that a reader hears it even when the text is the same.
        hide();
        show();
        return true;
    }
    return QWidget::event(event);
}

}  // namespace screen
