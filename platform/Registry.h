#pragma once
// The registry store: our own INI files, one per root, under $XDG_CONFIG_HOME/Vesk/registry/
// (override with RegistryStore::setDirectory, as tests do). A [full\key\path] section per key,
// value names matched ignoring case (the stored spelling is kept), creation order kept, values
// kept raw, saved atomically with mode 0600.
// Two keys are served by the platform and are read-only:
//  HKEY_LOCAL_MACHINE\Software\ODBC\ODBCINST.INI\ODBC Drivers  -> unixODBC's drivers, data "Installed"
//  HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM            -> device path -> "COMn" (mapped entries)
// The serial map is kept in the writable key HKEY_LOCAL_MACHINE\SOFTWARE\Vesk\SerialComm (kSerialCommMapKey):
// value name the device path ("/dev/ttyUSB0"), data "COMn". Tests and administrators write it there.
//
// File format (HKEY_CURRENT_USER.ini, HKEY_LOCAL_MACHINE.ini, ...; UTF-8; ';' or '#' start a comment):
//   [HKEY_CURRENT_USER\SOFTWARE\Vesk\Tarvolin]
//   ImpTicket=sz:EPSON TM-T20          text, everything after "sz:" verbatim to the end of the line
//   Puerto=sz:9600,e,8,1
//   Nota=szx:two\nlines                text with \\ \n \r \t \0 \uXXXX escapes (written when needed)
//   Ruta=expand:%HOME%\bin             (expandx: escaped)      Contador=dword:000000ff (hexadecimal)
//   Datos=hex:0a,1f                     Lista=multi:a\0b (escaped, items split at \0)
//   @=sz:default value                  "name = odd"=sz:x (quoted names use the escapes above)
// A hand-written line without a known type tag is text: Name=value (trailing blanks dropped) or
// Name="value" in the .reg quoting. Comments are not kept when the program writes the file.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace registry {

// Under Root::LocalMachine: the serial device map served as HARDWARE\DEVICEMAP\SERIALCOMM.
inline constexpr const char* kSerialCommMapKey = "SOFTWARE\\Vesk\\SerialComm";

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData, PerformanceData };
// Windows value types.
enum Type { REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4, REG_MULTI_SZ = 7 };

struct Value {
    QString name;
    int type = REG_SZ;
    QVariant data; // REG_SZ/EXPAND_SZ: QString; REG_DWORD: quint32; REG_BINARY: QByteArray; MULTI_SZ: QStringList
};

class RegistryStore final {
public:
    static RegistryStore& instance();
    void setDirectory(const QString& dir); // tests point it at a temporary folder; reloads
    QString directory() const;

    bool keyExists(Root root, const QString& path) const;
    bool createKey(Root root, const QString& path);
    bool deleteKey(Root root, const QString& path);            // with every subkey
    QStringList subKeys(Root root, const QString& path) const; // direct children, in creation order
    QList<Value> values(Root root, const QString& path) const; // in creation order
    std::optional<Value> value(Root root, const QString& path, const QString& name) const;
    bool setValue(Root root, const QString& path, const Value& v); // creates the key when missing
    bool deleteValue(Root root, const QString& path, const QString& name);
    bool save();   // every root, atomically
    void reload(); // drop the cache and read the files again

    // For tests: where the ODBC driver list comes from is unixODBC itself (ODBCSYSINI); nothing to set.
private:
    RegistryStore();
    struct Impl;
    Impl* d;
};

} // namespace registry
