#pragma once

#include "platform/SingleInstance.h"

#include <QVariantMap>

// The first copy owns a well-known name on the session bus and answers
// org.freedesktop.Application.Activate there; a later start calls it. Without
// a session bus every copy runs alone.
class LinuxSingleInstance : public SingleInstance
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    // name: the application ID, which is also the bus name.
    explicit LinuxSingleInstance(const QString& name);

    Start Claim() override;

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

private:
    // What a later start hands over: the desktop's token for taking the focus.
    static QVariantMap PlatformData();

    QString name;
    QString path;
};
