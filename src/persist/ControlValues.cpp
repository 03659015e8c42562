#include "persist/ControlValues.h"

#include <QMetaProperty>
#include <QObject>
#include <QSettings>
#include <memory>

namespace
{
const QString Section = QStringLiteral("Values");

std::unique_ptr<QSettings> OpenStore(const QString& file)
{
    if (file.isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QStringLiteral("Quorvane"),
                                           QStringLiteral("SaveFormSettings"));
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

QString ValueText(const QObject* control)
{
    return control->metaObject()->userProperty().read(control).toString();
}
} // namespace

ControlValues::ControlValues(const QString& settingsFile) : settingsFile(settingsFile) {}

const QStringList& ControlValues::SkippedControlKinds()
{
    static const QStringList kinds{
        QStringLiteral("PictureBox"), QStringLiteral("Image"),   QStringLiteral("Line"),
        QStringLiteral("Shape"),      QStringLiteral("Timer"),   QStringLiteral("CommandButton"),
        QStringLiteral("Label"),      QStringLiteral("Winsock"), QStringLiteral("TextBox"),
    };
    return kinds;
}

bool ControlValues::IsSkipped(const QObject* control)
{
    return SkippedControlKinds().contains(control->property("Kind").toString(), Qt::CaseSensitive);
}

QString ControlValues::ControlKeyName(const QObject* control)
{
    const QVariant index = control->property("Index");
    if (!index.isValid())
        return control->objectName();
    return control->objectName() + QLatin1Char('(') + QString::number(index.toInt()) +
           QLatin1Char(')');
}

void ControlValues::RestoreControlValues(const QList<QObject*>& controls) const
{
    const auto store = OpenStore(settingsFile);
    store->beginGroup(Section);
    for (QObject* control : controls) {
        if (IsSkipped(control))
            continue;
        const QMetaProperty value = control->metaObject()->userProperty();
        if (!value.isValid())
            continue;
        // A damaged file yields no value or one of another type: both leave
        // the control with the value it has.
        const QVariant stored = store->value(ControlKeyName(control), ValueText(control));
        if (stored.typeId() != QMetaType::QString)
            continue;
        QVariant converted = stored;
        if (!converted.convert(value.metaType()))
            continue;
        if (converted != value.read(control))
            value.write(control, converted);
    }
}

void ControlValues::SaveControlValues(const QList<QObject*>& controls) const
{
    const auto store = OpenStore(settingsFile);
    store->beginGroup(Section);
    for (const QObject* control : controls) {
        if (IsSkipped(control))
            continue;
        if (!control->metaObject()->userProperty().isValid())
            continue;
        store->setValue(ControlKeyName(control), ValueText(control));
    }
    store->endGroup();
    // A store that cannot be written keeps its old values whole: QSettings
    // writes a new file and renames it over the old one.
    store->sync();
}
