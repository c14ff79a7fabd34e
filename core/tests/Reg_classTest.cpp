// The registry helper over the registry store, also after the store is read again from its files.
#include "core/tests/ConnectedCore.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

using registry::RegistryStore;
using registry::Root;
using R = Reg_class;

const QString kApp = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin");

// On a registry store of its own.
class Reg_classTest : public coretest::RegistroTest {
protected:
    void SetUp() override {
        RegistroTest::SetUp();
        m_dirPrevio = RegistryStore::instance().directory();
        RegistryStore::instance().setDirectory(m_dir.path());
    }
    void TearDown() override {
        RegistryStore::instance().setDirectory(m_dirPrevio);
        RegistroTest::TearDown();
    }
    // Reads the store's files again, as the next start of the program would.
    void releer() { RegistryStore::instance().reload(); }

    QTemporaryDir m_dir;
    QString m_dirPrevio;
    Reg_class m_reg;
};

TEST_F(Reg_classTest, ValuesPersistWithTheirFirstSpellingAndOrder) {
    m_reg.SetReg(kApp, "ImpTicket", QStringLiteral("COCINA"));
    m_reg.SetReg(gstrRutaRegistro.mid(18), "TPV", qint32(3), R::HKEY_CURRENT_USER, registry::REG_SZ, true);
    m_reg.SetReg(kApp, "impticket", QStringLiteral("TICKETS"));
    m_reg.SetReg(kApp, "Euro", QStringLiteral("5 \u20ac"));
    releer();
    QStringList pares;
    ASSERT_TRUE(m_reg.EnumValues(pares, kApp));
    EXPECT_EQ(pares, (QStringList{"", "ImpTicket", "TICKETS", "TPV", "3", "Euro", QStringLiteral("5 \u20ac")}));
    EXPECT_EQ(m_reg.Lee_Keys(kApp), (QStringList{"", "IMPTICKET", "TPV", "EURO"}));
    EXPECT_EQ(m_reg.GetRegString("SOFTWARE\\Vesk\\Tarvolin", "IMPTICKET", R::HKEY_CURRENT_USER), "TICKETS");
}

TEST_F(Reg_classTest, LeeValorAnswersTheAppKeyFromTheStartUpSnapshot) {
    m_reg.SetReg(kApp, "IpServidor", QStringLiteral("10.0.0.5"));
    // Before the parameter store has taken its snapshot: the default, and no message box.
    EXPECT_EQ(m_reg.Lee_Valor(kApp, "IpServidor", false, "def"), "def");
    ASSERT_TRUE(m_reg.EnumValues(garrValoresRegistro, gstrRutaRegistro));
    m_reg.SetReg(kApp, "IpServidor", QStringLiteral("10.0.0.6"));
    EXPECT_EQ(m_reg.Lee_Valor(kApp.toLower(), "ipservidor"), "10.0.0.5");
    EXPECT_EQ(m_reg.Lee_Valor(kApp, "NoExiste", false, "x"), "x");
    EXPECT_EQ(m_reg.Lee_Valor(kApp, "IpServidor", true), "10.0.0.6");
    EXPECT_TRUE(m_prompts.calls.empty());
}

TEST_F(Reg_classTest, TypedValuesHaveTheirTextForms) {
    const QString k = QStringLiteral("HKCU\\SOFTWARE\\Tipos");
    m_reg.SetReg(k, "Dw", qint32(255), 0, registry::REG_DWORD);
    m_reg.SetReg(k, "Menos", qint32(-1), 0, registry::REG_DWORD);
    m_reg.SetReg(k, "Bin", QByteArray("\x0a\x1f\x00\x05", 4), 0, registry::REG_BINARY);
    for (const registry::Value& v : {registry::Value{"Multi", registry::REG_MULTI_SZ, QStringList{"a", "b"}},
                                     registry::Value{"Nulo", registry::REG_SZ, QString::fromLatin1("ab\0cd", 5)}})
        RegistryStore::instance().setValue(Root::CurrentUser, "SOFTWARE\\Tipos", v);
    releer();

    QStringList pares;
    ASSERT_TRUE(m_reg.EnumValues(pares, k));
    EXPECT_EQ(pares,
              (QStringList{"", "Dw", "255", "Menos", "-1", "Bin", "0A 1F 00 05 ", "Multi", "a b", "Nulo", "ab"}));
    EXPECT_EQ(m_reg.GetRegDWord(k, "Menos", 0, true), Variant(QStringLiteral("0xFFFFFFFF (-1)")));
    EXPECT_EQ(m_reg.GetRegDWord(k, "Multi").toInt(), 0);
    EXPECT_EQ(m_reg.GetRegBinary(k, "Bin"), Variant(QByteArray("\x0a\x1f\x00\x05", 4))); // the whole byte array
    EXPECT_EQ(m_reg.GetRegBinary(k, "Bin", 0, true), Variant(QStringLiteral("A 1F 0 5 ")));
    EXPECT_EQ(m_reg.GetReg(k, "Dw", 0, true), Variant(QStringLiteral("0x000000FF (255)")));
    EXPECT_EQ(m_reg.GetReg(k, "Bin", 0, true), Variant(QStringLiteral("0A 1F 00 05 ")));
    EXPECT_EQ(m_reg.GetReg(k, "Multi"), Variant(QStringLiteral("a b")));
    EXPECT_EQ(m_reg.GetReg(k, "Falta"), Variant(QByteArray(1, '\0')));
    EXPECT_EQ(m_reg.GetReg(k, "Falta", 0, true), Variant(QString()));
    EXPECT_EQ(m_reg.GetRegString(k, "Dw"), "");
}

TEST_F(Reg_classTest, KeysAreCreatedListedAndDeleted) {
    qint32 r = -1;
    m_reg.SetReg("HKCU\\SOFTWARE\\Nueva", "A", QStringLiteral("1"), 0, registry::REG_SZ, false, &r);
    EXPECT_EQ(r, R::ERROR_FILE_NOT_FOUND); // not created without the flag
    m_reg.SetReg("HKCU\\SOFTWARE\\Nueva\\Hija", "A", QStringLiteral("1"), 0, registry::REG_SZ, true, &r);
    EXPECT_EQ(r, R::ERROR_SUCCESS);
    m_reg.SetReg("HKCU\\SOFTWARE\\Nueva\\Otra\\Nieta", "B", QStringLiteral("2"));
    m_reg.SetReg("HKCU\\SOFTWARE\\Nueva", "", QStringLiteral("por defecto"));
    EXPECT_EQ(m_reg.QueryRegBase("SOFTWARE\\Nueva", R::HKEY_CURRENT_USER), "por defecto");
    releer();
    QStringList lista;
    EXPECT_TRUE(m_reg.EnumKeys(lista, "HKCU\\SOFTWARE\\Nueva"));
    EXPECT_EQ(lista, (QStringList{"", "Hija", "Otra"}));

    m_reg.DeleteKey("HKCU\\SOFTWARE\\Nueva\\Hija", "a", 0, &r);
    m_reg.DeleteKey("HKCU\\SOFTWARE\\Nueva\\Hija", "a", 0, &r);
    EXPECT_EQ(r, R::ERROR_FILE_NOT_FOUND);
    m_reg.DeleteKey("SOFTWARE\\Nueva", "", R::HKEY_LOCAL_MACHINE, &r); // the root comes from the key text alone
    EXPECT_EQ(r, R::ERROR_SUCCESS);
    releer();
    EXPECT_FALSE(m_reg.EnumKeys(lista, "HKCU\\SOFTWARE\\Nueva"));
    EXPECT_FALSE(m_reg.EnumValues(lista, "HKCU\\SOFTWARE\\Nueva\\Otra\\Nieta"));
}

// Shell folders keep the first path of each name; associations and firewall entries are store entries.
TEST_F(Reg_classTest, FoldersAssociationsAndFirewallEntries) {
    const QString k =
        QStringLiteral("HKEY_USERS\\.Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    m_reg.SetReg(k, "Desktop", QStringLiteral("/srv/escritorio"));
    m_reg.SetReg(k, "Tickets", QStringLiteral("/srv/tickets"));
    EXPECT_EQ(m_reg.GetFolder(QStringLiteral("desktop")), "/srv/escritorio");
    EXPECT_EQ(m_reg.GetFolder(qint32(2)), "/srv/tickets");
    EXPECT_EQ(m_reg.GetFolder(qint32(999)), "");
    EXPECT_EQ(m_reg.GetFolder(QStringLiteral("WindowsDir")), "");

    m_reg.AsociarExt(".tvl", "tarvolin", "&Abrir");
    EXPECT_EQ(m_reg.QueryRegBase("HKCR\\progID.tvl"), QStringLiteral("Descripción de progID.tvl"));
    EXPECT_EQ(m_reg.QueryRegBase("HKLM\\Software\\Classes\\progID.tvl\\shell\\Abrir\\command"), "tarvolin.exe \"%1\"");
    m_reg.DesasociarExt("tvl");
    EXPECT_EQ(m_reg.QueryRegBase("HKCR\\progID.tvl"), "");

    recordingMainWindow().grid.clear();
    m_reg.Firewall_HabilitarPuerto("8089");
    EXPECT_TRUE(recordingMainWindow().grid.contains("Firewall_HabilitarPuerto (8089)"));
    const QString programa = m_dir.path() + "/tarvolin";
    QFile(programa).open(QIODevice::WriteOnly);
    m_reg.Firewall_HabilitarEjecutable(programa);
    m_reg.Firewall_HabilitarEjecutable(m_dir.path() + "/no_existe");
    const QString politica = QStringLiteral(
        "HKLM\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\StandardProfile\\");
    EXPECT_EQ(m_reg.GetRegString(politica + "GloballyOpenPorts\\List", "8089:TCP"), "8089:TCP:*:Enabled:TCP8089");
    QStringList pares;
    ASSERT_TRUE(m_reg.EnumValues(pares, politica + "AuthorizedApplications\\List"));
    EXPECT_EQ(pares, (QStringList{"", programa, programa + ":*:Enabled:tarvolin"}));
}

} // namespace
