#pragma once
// The registry helper over the platform's registry store. Key paths may name their root
// ("HKEY_CURRENT_USER\SOFTWARE\...", "HKCU\...") or take the default root argument.
//
// Every write is saved to the store's files at once, so a value set here survives a crash as it
// would in the Windows registry. Reads of the application key (gstrRutaRegistro) through Lee_Valor
// come from the snapshot that the parameter store takes at start-up (garrValoresRegistro).
#include "platform/Collections.h"
#include "platform/Registry.h"
#include "platform/Variant.h"
#include <QString>
#include <QStringList>

class Reg_class {
public:
    enum : qint32 {
        HKEY_CLASSES_ROOT = qint32(0x80000000),
        HKEY_CURRENT_USER = qint32(0x80000001),
        HKEY_LOCAL_MACHINE = qint32(0x80000002),
        HKEY_USERS = qint32(0x80000003),
        HKEY_PERFORMANCE_DATA = qint32(0x80000004),
        HKEY_CURRENT_CONFIG = qint32(0x80000005),
        HKEY_DYN_DATA = qint32(0x80000006)
    };
    // Windows result codes handed back through `resultado`.
    enum : qint32 { ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_ACCESS_DENIED = 5 };

    Reg_class();

    // Pair list: element 0 empty, then name and value text at 1 and 2, 3 and 4, ...
    // Without a root in the path the key is looked up under HKEY_CLASSES_ROOT. False when the key is missing.
    bool EnumValues(QStringList& pares, const QString& sKey);
    // colKeys(0) empty, then the names of the subkeys. False when the key is missing.
    bool EnumKeys(QStringList& colKeys, const QString& sKey);
    // Element 0 empty, then the upper-cased names of the key's values.
    QStringList Lee_Keys(const QString& sKey);
    // One value's text; reads of gstrRutaRegistro come from the start-up snapshot unless blnActualiza.
    // Before the snapshot exists, and when the value is absent, gives strValDef.
    QString Lee_Valor(const QString& wKey, const QString& wIndex, bool blnActualiza = false,
                      const QString& strValDef = {});

    // Typed readers ("Obtener un valor ... de una entrada del registro").
    // DWORD as Long, or "0x000000FF (255)" with bAsString; a missing or non-DWORD value reads as 0.
    Variant GetRegDWord(const QString& sKey, const QString& sValue, qint32 hKey = HKEY_CURRENT_USER,
                        bool bAsString = false);
    // Any type: text, multi-strings joined with blanks, DWORD as Long (or its text form), other types as a
    // byte array (or "0A 1F " text). Missing: "" with bAsString, else a one-byte array holding 0.
    Variant GetReg(const QString& sKey, const QString& sValue, qint32 hKey = HKEY_CURRENT_USER, bool bAsString = false);
    // A binary value's bytes, or with bAsString each byte's unpadded hexadecimal digits and a blank.
    Variant GetRegBinary(const QString& sKey, const QString& sValue, qint32 hKey = HKEY_CURRENT_USER,
                         bool bAsString = false);
    // A REG_SZ value's text, else "".
    QString GetRegString(const QString& sKey, const QString& sValue, qint32 hKey = HKEY_CURRENT_USER);
    // The key's default (unnamed) value, "" when missing or empty.
    QString QueryRegBase(const QString& sKey, qint32 hKey = HKEY_CURRENT_USER);

    // Writes one value: REG_SZ and REG_EXPAND_SZ as text, REG_MULTI_SZ a list, REG_BINARY the whole byte
    // array, REG_DWORD as a 32-bit integer; other types write nothing. Without bCreateKey a missing key is
    // not created and resultado receives ERROR_FILE_NOT_FOUND; a key the platform serves gives
    // ERROR_ACCESS_DENIED. Raises VB errors for a value that does not convert.
    void SetReg(const QString& sKey, const QString& sName, const Variant& vValue, qint32 hKey = HKEY_CURRENT_USER,
                int RegDataType = registry::REG_SZ, bool bCreateKey = true, qint32* resultado = nullptr);
    // Deletes the value sName, or the whole key with its subkeys when sName is empty. The root comes from
    // sKey alone (HKEY_CURRENT_USER without one); hKey is not used.
    void DeleteKey(const QString& sKey, const QString& sName = {}, qint32 hKey = HKEY_CURRENT_USER,
                   qint32* resultado = nullptr);

    // Desktop folders by their Windows names ("Desktop", "Personal", "My Pictures", "AppData", ...): first any
    // folder written under HKEY_USERS\.Default\...\Explorer\Shell Folders, then the desktop's standard folders.
    // A name already listed keeps its first path. A Collection of names (bSoloClaves) or of paths.
    vb::ObjectPtr ShellFolders(bool bSoloClaves = false);
    // A folder's path by name (ignoring case) or by position from 1; "" when there is none.
    QString GetFolder(const Variant& vIndex);

    // File association kept in the store (HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\Software\Classes).
    void AsociarExt(const QString& sExt, const QString& sExe = {}, const QString& sCommand = QStringLiteral("open"),
                    bool bDefault = true, const QString& sProgId = {}, const QString& sDescription = {},
                    const QString& sFic_Icono = {}, qint32 sInd_Icono = 0);
    void DesasociarExt(const QString& sExt);

    // The firewall lists as entries of the store; the host's firewall is not touched.
    void Firewall_HabilitarPuerto(const QString& strPuerto, const QString& strProtocolo = QStringLiteral("TCP"));
    void Firewall_HabilitarEjecutable(const QString& strRutaEjecutable);

    // Root of a key text: "HKEY_..." up to the first "\" anywhere in the text, or a short prefix (HKCR\, HKCU\,
    // HKLM\, HKU\, HKCC\, HKDD\, HKPD\), ignoring case; sKey is left relative to it. Without a root name:
    // hKeyPorDefecto when it is a predefined root, else HKEY_CLASSES_ROOT. An unknown root name gives
    // HKEY_CLASSES_ROOT.
    static qint32 ParseRaizRegistro(QString& sKey, qint32 hKeyPorDefecto);
    static registry::Root raiz(qint32 hKey);

private:
    static QString QuitaNulos(const QString& texto, bool esMultiple);
    static QString textoValor(const registry::Value& v); // the EnumValues text form
    static QString rutaStore(const QString& sKey);       // relative path without stray separators
    // The root and store path of a key (HKEY_CLASSES_ROOT when it names none); true when it exists.
    static bool claveExistente(const QString& sKey, registry::Root& r, QString& ruta);
    qint32 BorraClaveRecursiva(qint32 hKey, const QString& sKey);

    QStringList m_nombresCarpetas; // the folder collection: names and paths in the same order
    QStringList m_rutasCarpetas;
};
