#include "persist/ControlValues.h"

#include <QFile>
#include <QMetaProperty>
#include <QObject>
#include <QSettings>
#include <memory>
#include <sys/stat.h>

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

// Tells one file on disk from another: the file's identity and last change.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec changed{};

    bool operator!=(const FileStamp& other) const
    {
        return exists != other.exists || device != other.device || inode != other.inode ||
               changed.tv_sec != other.changed.tv_sec || changed.tv_nsec != other.changed.tv_nsec;
    }
};

FileStamp Stamp(const QString& file)
{
    struct stat st {
    };
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return {};
    return {true, st.st_dev, st.st_ino, st.st_mtim};
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

bool ControlValues::SaveControlValues(const QList<QObject*>& controls) const
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
    const FileStamp before = Stamp(store->fileName());
    store->sync();
    switch (store->status()) {
    case QSettings::NoError:
        return true;
    case QSettings::FormatError:
        // A damaged file's format error hides a failed write; a written store
        // is a new file, renamed over the old one.
        return Stamp(store->fileName()) != before;
    default:
        return false;
    }
}
