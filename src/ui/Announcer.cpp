#include "ui/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace
{
// Screen readers speak a notification object when it is shown.
QAccessibleInterface* AsNotification(const QString& key, QObject* object)
{
    return key == QLatin1String("Announcer")
               ? new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification)
               : nullptr;
}
} // namespace

Announcer::Announcer(QWidget* source) : QWidget(source->window()), source(source)
{
    QAccessible::installFactory(AsNotification);
    // Nothing to see: it exists only for assistive technologies.
    setGeometry(0, 0, 1, 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void Announcer::Announce(const QString& message, bool assertive)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(source, message);
    event.setPoliteness(assertive ? QAccessible::AnnouncementPoliteness::Assertive
                                  : QAccessible::AnnouncementPoliteness::Polite);
    QAccessible::updateAccessibility(&event);
#else
    // A notification has no politeness: it is spoken as it appears.
    Q_UNUSED(assertive);
    hide();
    setAccessibleName(message);
    setAccessibleDescription(source->accessibleDescription());
    show();
#endif
}
