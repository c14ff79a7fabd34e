#include "platform/Registry.h"
#include "testsupport/TestEnv.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace registry;

namespace {
const QString kApp = QStringLiteral("SOFTWARE\\Vesk\\Tarvolin");

// Each test gets its own registry folder; the store is reloaded from it.
struct RegistryTest : ::testing::Test {
    QTemporaryDir tmp;
    QString previous;
    RegistryStore& reg = RegistryStore::instance();
    void SetUp() override {
        previous = reg.directory();
        reg.setDirectory(tmp.path() + "/registry");
    }
    void TearDown() override { reg.setDirectory(previous); }
    QString file(const char* root) const { return tmp.path() + "/registry/" + root + ".ini"; }
    void writeFile(const char* root, const QByteArray& text) {
        QDir().mkpath(tmp.path() + "/registry");
        QFile f(file(root));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        reg.reload();
    }
    QString text(const char* root) const {
        QFile f(file(root));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

Value sz(const QString& name, const QString& data) {
    return Value{name, REG_SZ, data};
}
} // namespace

TEST_F(RegistryTest, ValuesSurviveAReloadVerbatimInCreationOrder) {
    QList<Value> escritos;
    for (const char* dato : {"9600,e,8,1", "C:\\bin\\", " leading and trailing  ", "a=b;c", "\"quoted\"",
                             "línea\r\nnueva\tcon tab", "sz:not a tag", "", "ñ€\\\\x", "#not a comment"})
        escritos << sz(QString("V%1").arg(escritos.size()), QString::fromUtf8(dato));
    escritos << Value{"Contador", REG_DWORD, QVariant::fromValue(0xFFFFFFFFu)}
             << Value{"Bytes", REG_BINARY, QByteArray("\x00\x0a\xff", 3)}
             << Value{"Lista", REG_MULTI_SZ, QStringList{"a", "b\\0", "c"}} << Value{"", REG_EXPAND_SZ, "%HOME%\\x"}
             << sz("odd = name\"", "x");
    for (const Value& v : escritos)
        ASSERT_TRUE(reg.setValue(Root::CurrentUser, kApp, v));
    reg.reload();
    const QList<Value> leidos = reg.values(Root::CurrentUser, kApp);
    ASSERT_EQ(leidos.size(), escritos.size());
    for (int i = 0; i < leidos.size(); ++i) {
        EXPECT_EQ(leidos[i].name, escritos[i].name);
        EXPECT_EQ(leidos[i].type, escritos[i].type) << i;
        EXPECT_EQ(leidos[i].data, escritos[i].data) << i;
    }
    // The simple ones are readable as written.
    EXPECT_TRUE(text("HKEY_CURRENT_USER").contains("V0=sz:9600,e,8,1\nV1=sz:C:\\bin\\\n"));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheFirstSpellingAndPlace) {
    reg.setValue(Root::CurrentUser, kApp, sz("ImpTicket", "A"));
    reg.setValue(Root::CurrentUser, kApp, sz("Otro", "B"));
    reg.setValue(Root::CurrentUser, "software\\VESK\\tarvolin", sz("IMPTICKET", "C"));
    const QList<Value> vals = reg.values(Root::CurrentUser, kApp);
    ASSERT_EQ(vals.size(), 2);
    EXPECT_EQ(vals[0].name, "ImpTicket");
    EXPECT_EQ(vals[0].data.toString(), "C");
    EXPECT_EQ(reg.value(Root::CurrentUser, kApp, "impticket")->data.toString(), "C");
    EXPECT_TRUE(reg.keyExists(Root::CurrentUser, "SOFTWARE\\vesk"));
    EXPECT_EQ(reg.subKeys(Root::CurrentUser, "Software"), QStringList({"Vesk"}));
    EXPECT_TRUE(reg.deleteValue(Root::CurrentUser, kApp, "IMPticket"));
    EXPECT_FALSE(reg.deleteValue(Root::CurrentUser, kApp, "ImpTicket"));
    EXPECT_FALSE(reg.keyExists(Root::LocalMachine, kApp)); // roots are apart
}

TEST_F(RegistryTest, SubkeysKeepCreationOrderAndDeleteKeyTakesTheTree) {
    for (const char* k : {"Zeta", "Alfa", "Medio"})
        ASSERT_TRUE(reg.createKey(Root::CurrentUser, kApp + "\\impresoras\\" + k));
    reg.setValue(Root::CurrentUser, kApp + "\\impresoras\\Alfa\\Hondo", sz("x", "1"));
    reg.reload();
    EXPECT_EQ(reg.subKeys(Root::CurrentUser, kApp + "\\impresoras"), QStringList({"Zeta", "Alfa", "Medio"}));
    EXPECT_TRUE(reg.keyExists(Root::CurrentUser, kApp + "\\impresoras\\Medio")); // empty keys persist
    EXPECT_TRUE(reg.deleteKey(Root::CurrentUser, kApp + "\\IMPRESORAS\\alfa"));
    reg.reload();
    EXPECT_EQ(reg.subKeys(Root::CurrentUser, kApp + "\\impresoras"), QStringList({"Zeta", "Medio"}));
    EXPECT_FALSE(reg.keyExists(Root::CurrentUser, kApp + "\\impresoras\\Alfa\\Hondo"));
    EXPECT_FALSE(reg.deleteKey(Root::CurrentUser, kApp + "\\nada"));
}

// A second save replaces the file (new inode): a crash mid-write leaves the old one whole.
TEST_F(RegistryTest, SavedAtomicallyOwnerOnly) {
    std::vector<ino_t> inodos;
    for (const char* dato : {"secreta", "otra"}) {
        ASSERT_TRUE(reg.setValue(Root::CurrentUser, kApp, sz("Clave", dato)));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(file("HKEY_CURRENT_USER")).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        inodos.push_back(st.st_ino);
    }
    EXPECT_NE(inodos[0], inodos[1]);
    EXPECT_EQ(QDir(tmp.path() + "/registry").entryList(QDir::Files), QStringList({"HKEY_CURRENT_USER.ini"}));
}

TEST_F(RegistryTest, HandEditedFilesRead) {
    writeFile("HKEY_CURRENT_USER", "\xEF\xBB\xBF; hand written\r\n"
                                   "[HKEY_CURRENT_USER\\Software\\Vesk\\Tarvolin]\r\n"
                                   "  IpServidor = 192.168.1.10   \r\n"
                                   "Puerto=9600,e,8,1\r\n"
                                   "Ruta=\"C:\\\\tpv\\\\\"\r\n"
                                   "# a comment\r\n"
                                   "Cuenta=dword:0000000a\r\n"
                                   "Url=http://x/y\r\n"
                                   "Roto=dword:zz\r\n"
                                   "[HKCU\\Software\\Vesk\\Tarvolin\\impresoras]\r\n"
                                   "1=COCINA\r\n");
    const std::pair<const char*, QVariant> leidos[] = {
        {"ipservidor", "192.168.1.10"},       {"Puerto", "9600,e,8,1"}, {"Ruta", "C:\\tpv\\"},
        {"Cuenta", QVariant::fromValue(10u)}, {"Url", "http://x/y"},    {"Roto", "dword:zz"}};
    for (const auto& [nombre, dato] : leidos)
        EXPECT_EQ(reg.value(Root::CurrentUser, kApp, nombre)->data, dato) << nombre;
    EXPECT_EQ(reg.value(Root::CurrentUser, kApp + "\\impresoras", "1")->data.toString(), "COCINA");

    // An edit made while the program runs is seen, and the program's next write keeps it.
    QFile f(file("HKEY_CURRENT_USER"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("[HKEY_CURRENT_USER\\Software\\Vesk\\Tarvolin\\nuevo]\nA=1\n");
    f.close();
    ASSERT_TRUE(reg.setValue(Root::CurrentUser, kApp, sz("Otra", "2")));
    reg.reload();
    EXPECT_EQ(reg.value(Root::CurrentUser, kApp + "\\nuevo", "a")->data.toString(), "1");
    EXPECT_EQ(reg.value(Root::CurrentUser, kApp, "Otra")->data.toString(), "2");
}

// Values as a Windows export writes them: raw bytes tagged with their type are read as that type and
// written back with the same value; bytes that form no value of their type are kept as they came.
TEST_F(RegistryTest, HexValuesAreReadAsTheTypeTheyNameAndSavedBackUnchanged) {
    writeFile("HKEY_CURRENT_USER", "[HKEY_CURRENT_USER\\Software\\Vesk\\Tarvolin]\n"
                                   "Lista=hex(7):61,00,00,00,00,00\n"
                                   "Dos=hex(7):61,00,00,00,f1,00,62,00,00,00,00,00\n"
                                   "Vacia=hex(7):00,00\n"
                                   "Numero=hex(4):ff,00,00,00\n"
                                   "Grande=hex(4):78,56,34,12\n"
                                   "Texto=hex(2):25,00,41,00,25,00,00,00\n"
                                   "Corto=hex(4):ff,00\n"
                                   "Impar=hex(7):61,00,00\n");
    const std::tuple<const char*, int, QVariant> casos[] = {
        {"Lista", REG_MULTI_SZ, QStringList{"a"}},
        {"Dos", REG_MULTI_SZ, QStringList{"a", QString::fromUtf8("ñb")}},
        {"Vacia", REG_MULTI_SZ, QStringList{}},
        {"Numero", REG_DWORD, QVariant::fromValue(255u)},
        {"Grande", REG_DWORD, QVariant::fromValue(0x12345678u)},
        {"Texto", REG_EXPAND_SZ, QString("%A%")},
        {"Corto", REG_DWORD, QByteArray("\xff\x00", 2)},
        {"Impar", REG_MULTI_SZ, QByteArray("a\x00\x00", 3)},
    };
    for (int vuelta = 0; vuelta < 2; ++vuelta) {
        for (const auto& [nombre, tipo, dato] : casos) {
            const auto v = reg.value(Root::CurrentUser, kApp, nombre);
            ASSERT_TRUE(v) << nombre;
            EXPECT_EQ(v->type, tipo) << nombre << " " << vuelta;
            EXPECT_EQ(v->data, dato) << nombre << " " << vuelta;
        }
        // A save of another value writes these back; the second round reads what was saved.
        ASSERT_TRUE(reg.setValue(Root::CurrentUser, kApp, sz("Otra", "x")));
        reg.reload();
    }
    EXPECT_TRUE(text("HKEY_CURRENT_USER").contains("Corto=hex(4):ff,00\n")) << text("HKEY_CURRENT_USER").toStdString();
}

TEST_F(RegistryTest, AnUnreadableFileIsNeverOverwritten) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    writeFile("HKEY_CURRENT_USER", "[Software]\nA=1\n");
    QFile::setPermissions(file("HKEY_CURRENT_USER"), QFileDevice::WriteOwner);
    reg.reload();
    EXPECT_FALSE(reg.setValue(Root::CurrentUser, kApp, sz("B", "2")));
    QFile::setPermissions(file("HKEY_CURRENT_USER"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(text("HKEY_CURRENT_USER"), "[Software]\nA=1\n");
}

// The served keys are read-only: the serial map (written under kSerialCommMapKey, read by SerialPort)
// and unixODBC's driver list.
TEST_F(RegistryTest, ServedKeysAreReadOnlyAndTheDriverListComesFromUnixOdbc) {
    EXPECT_TRUE(reg.keyExists(Root::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    EXPECT_FALSE(reg.setValue(Root::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", sz("/dev/x", "COM9")));
    if (qEnvironmentVariableIsEmpty("ODBCSYSINI"))
        GTEST_SKIP() << "no private odbcinst.ini (ODBCSYSINI)";
    const QString key = "Software\\ODBC\\ODBCINST.INI\\ODBC Drivers";
    EXPECT_EQ(reg.value(Root::LocalMachine, "SOFTWARE\\odbc\\odbcinst.ini\\odbc drivers", testenv::odbcDriverName())
                  ->data.toString(),
              "Installed");
    EXPECT_FALSE(reg.value(Root::LocalMachine, key, "ODBC Drivers")); // the list's own section is no driver
    EXPECT_TRUE(reg.subKeys(Root::LocalMachine, "Software\\ODBC\\ODBCINST.INI").contains("ODBC Drivers"));
    EXPECT_FALSE(reg.setValue(Root::LocalMachine, key, sz("Fake", "Installed")));
    EXPECT_FALSE(reg.deleteKey(Root::LocalMachine, key));
    EXPECT_FALSE(QFileInfo::exists(file("HKEY_LOCAL_MACHINE")));
}
