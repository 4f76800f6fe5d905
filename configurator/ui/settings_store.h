// Typed settings storage behind the two registry keys of the configurator.
//
// On Windows the keys live in the registry under HKEY_LOCAL_MACHINE; elsewhere each key is one INI
// file in the user's configuration folder (organisation "Varnel", application = the key's last
// part). Tests use MemorySettingsStore and never touch the user's settings.
#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>

class QSettings;

namespace kl40 {

inline constexpr const char* kNamingKey = "Software\\Varnel\\KL40";
inline constexpr const char* kLibraryKey = "Software\\Varnel\\DLL_TelVOR";

// One store holds any number of keys; each key holds named values of three kinds.
// A value that is missing or of the wrong kind reads as std::nullopt, so that the caller's default
// applies. Booleans are stored as 32-bit integers 0/1, like the registry's DWORD values.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    virtual std::optional<std::int32_t> readInt(const QString& key, const QString& name) = 0;
    virtual std::optional<QString> readString(const QString& key, const QString& name) = 0;
    virtual void writeInt(const QString& key, const QString& name, std::int32_t value) = 0;
    virtual void writeString(const QString& key, const QString& name, const QString& value) = 0;
    // Makes the writes visible to other readers (the INI file is written). Returns false when the
    // storage could not be written.
    virtual bool flush() = 0;

    // Any non-zero integer is true.
    std::optional<bool> readBool(const QString& key, const QString& name);
    void writeBool(const QString& key, const QString& name, bool value);
};

// Values kept in memory with their kinds, for tests (a test may plant a value of the wrong kind).
class MemorySettingsStore final : public SettingsStore {
public:
    std::optional<std::int32_t> readInt(const QString& key, const QString& name) override;
    std::optional<QString> readString(const QString& key, const QString& name) override;
    void writeInt(const QString& key, const QString& name, std::int32_t value) override;
    void writeString(const QString& key, const QString& name, const QString& value) override;
    bool flush() override { return true; }

    bool contains(const QString& key, const QString& name) const;
    // The raw stored value (an int or a QString), invalid when missing.
    QVariant raw(const QString& key, const QString& name) const;
    void setRaw(const QString& key, const QString& name, const QVariant& value);

private:
    QHash<QString, QHash<QString, QVariant>> keys_;
};

// QSettings: the registry on Windows, INI files elsewhere.
class QtSettingsStore final : public SettingsStore {
public:
    // Stores under the platform's place for the user (Windows: HKEY_LOCAL_MACHINE).
    QtSettingsStore();
    // Stores every key as "<folder>/<last part of key>.ini" (used by tests).
    explicit QtSettingsStore(const QString& iniFolder);
    ~QtSettingsStore() override;

    std::optional<std::int32_t> readInt(const QString& key, const QString& name) override;
    std::optional<QString> readString(const QString& key, const QString& name) override;
    void writeInt(const QString& key, const QString& name, std::int32_t value) override;
    void writeString(const QString& key, const QString& name, const QString& value) override;
    bool flush() override;

    // The file or registry path that holds the key.
    QString location(const QString& key);

private:
    QSettings& settingsFor(const QString& key);

    QString iniFolder_;
    QHash<QString, std::shared_ptr<QSettings>> open_;
};

}  // namespace kl40
