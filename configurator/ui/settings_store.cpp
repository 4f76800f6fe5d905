#include "configurator/ui/settings_store.h"

#include <QDir>
#include <QMetaType>
#include <QSettings>

#include <limits>

namespace kl40 {

std::optional<bool> SettingsStore::readBool(const QString& key, const QString& name)
{
    auto v = readInt(key, name);
    if (!v)
        return std::nullopt;
    return *v != 0;
}

void SettingsStore::writeBool(const QString& key, const QString& name, bool value)
{
    writeInt(key, name, value ? 1 : 0);
}

namespace {

bool isIntegerType(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

// A registry DWORD is 32 bits: signed values and their unsigned form are both accepted.
std::optional<std::int32_t> toInt32(const QVariant& v)
{
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
}

// INI files keep no kinds: an integer is a text of decimal digits with an optional sign.
std::optional<std::int32_t> intFromText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && (c == '-' || c == '+')))
            return std::nullopt;
    }
    return toInt32(QVariant(t));
}

}  // namespace

std::optional<std::int32_t> MemorySettingsStore::readInt(const QString& key, const QString& name)
{
    const QVariant v = raw(key, name);
    if (!isIntegerType(v))
        return std::nullopt;
    return toInt32(v);
}

std::optional<QString> MemorySettingsStore::readString(const QString& key, const QString& name)
{
    const QVariant v = raw(key, name);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

void MemorySettingsStore::writeInt(const QString& key, const QString& name, std::int32_t value)
{
    keys_[key][name] = QVariant(static_cast<int>(value));
}

void MemorySettingsStore::writeString(const QString& key, const QString& name, const QString& value)
{
    keys_[key][name] = QVariant(value);
}

bool MemorySettingsStore::contains(const QString& key, const QString& name) const
{
    return raw(key, name).isValid();
}

QVariant MemorySettingsStore::raw(const QString& key, const QString& name) const
{
    auto k = keys_.constFind(key);
    if (k == keys_.constEnd())
        return {};
    return k->value(name);
}

void MemorySettingsStore::setRaw(const QString& key, const QString& name, const QVariant& value)
{
    keys_[key][name] = value;
}

QtSettingsStore::QtSettingsStore() = default;

QtSettingsStore::QtSettingsStore(const QString& iniFolder) : iniFolder_(iniFolder) {}

QtSettingsStore::~QtSettingsStore()
{
    flush();
}

QSettings& QtSettingsStore::settingsFor(const QString& key)
{
    auto it = open_.find(key);
    if (it != open_.end())
        return **it;
    const QString app = key.section('\\', -1);
    std::shared_ptr<QSettings> s;
    if (!iniFolder_.isEmpty()) {
        s = std::make_shared<QSettings>(QDir(iniFolder_).filePath(app + ".ini"), QSettings::IniFormat);
    } else {
#ifdef Q_OS_WIN
        s = std::make_shared<QSettings>("HKEY_LOCAL_MACHINE\\" + key, QSettings::NativeFormat);
#else
        s = std::make_shared<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Varnel", app);
#endif
    }
    open_.insert(key, s);
    return *s;
}

std::optional<std::int32_t> QtSettingsStore::readInt(const QString& key, const QString& name)
{
    QSettings& s = settingsFor(key);
    const QVariant v = s.value(name);
    if (!v.isValid())
        return std::nullopt;
    if (isIntegerType(v))
        return toInt32(v);
    if (s.format() == QSettings::IniFormat && v.typeId() == QMetaType::QString)
        return intFromText(v.toString());
    return std::nullopt;  // a registry string, binary or list where a DWORD belongs
}

std::optional<QString> QtSettingsStore::readString(const QString& key, const QString& name)
{
    QSettings& s = settingsFor(key);
    const QVariant v = s.value(name);
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return std::nullopt;  // missing, or a registry DWORD / list where a string belongs
}

void QtSettingsStore::writeInt(const QString& key, const QString& name, std::int32_t value)
{
    settingsFor(key).setValue(name, static_cast<int>(value));
}

void QtSettingsStore::writeString(const QString& key, const QString& name, const QString& value)
{
    settingsFor(key).setValue(name, value);
}

bool QtSettingsStore::flush()
{
    bool ok = true;
    for (auto& s : open_) {
        s->sync();
        ok = ok && s->status() == QSettings::NoError;
    }
    return ok;
}

QString QtSettingsStore::location(const QString& key)
{
    return settingsFor(key).fileName();
}

}  // namespace kl40
