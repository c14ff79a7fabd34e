#pragma once
// The registry store: our own INI files, one per root, under $XDG_CONFIG_HOME/Vesk/registry/
// (override with RegistryStore::setDirectory, as tests do). A [full\key\path] section per key,
// value names matched ignoring case (the stored spelling is kept), creation order kept, values
// kept raw, saved atomically with mode 0600.
// Two keys are served by the platform and are read-only:
//  HKEY_LOCAL_MACHINE\Software\ODBC\ODBCINST.INI\ODBC Drivers  -> unixODBC's drivers, data "Installed"
//  HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM            -> device path -> "COMn" (mapped entries)
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace registry {

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData, PerformanceData };
// Windows value types.
enum Type { REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4, REG_MULTI_SZ = 7 };

struct Value {
    QString name;
    int type = REG_SZ;
    QVariant data;  // REG_SZ/EXPAND_SZ: QString; REG_DWORD: quint32; REG_BINARY: QByteArray; MULTI_SZ: QStringList
};

class RegistryStore {
public:
    static RegistryStore& instance();
    void setDirectory(const QString& dir);  // tests point it at a temporary folder; reloads
    QString directory() const;

    bool keyExists(Root root, const QString& path) const;
    bool createKey(Root root, const QString& path);
    bool deleteKey(Root root, const QString& path);  // with every subkey
    QStringList subKeys(Root root, const QString& path) const;  // direct children, in creation order
    QList<Value> values(Root root, const QString& path) const;  // in creation order
    std::optional<Value> value(Root root, const QString& path, const QString& name) const;
    bool setValue(Root root, const QString& path, const Value& v);  // creates the key when missing
    bool deleteValue(Root root, const QString& path, const QString& name);
    bool save();    // every root, atomically
    void reload();  // drop the cache and read the files again

    // For tests: where the ODBC driver list comes from is unixODBC itself (ODBCSYSINI); nothing to set.
private:
    RegistryStore();
    struct Impl;
    Impl* d;
};

} // namespace registry
