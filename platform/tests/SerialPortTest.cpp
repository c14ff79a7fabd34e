#include "platform/SerialPort.h"
#include "platform/Program.h"
#include "platform/Registry.h"
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Two pseudo-terminals joined by socat: what one end writes, the other reads.
struct SerialPortTest : ::testing::Test {
    QTemporaryDir tmp;
    QProcess socat;
    QString a, b;
    void SetUp() override {
        if (QStandardPaths::findExecutable("socat").isEmpty())
            GTEST_SKIP() << "socat is not installed";
        a = tmp.path() + "/A";
        b = tmp.path() + "/B";
        socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
        ASSERT_TRUE(socat.waitForStarted(10000));
        program::waitWhile([&] { return !(QFileInfo::exists(a) && QFileInfo::exists(b)); }, 10000);
        ASSERT_TRUE(QFileInfo::exists(a) && QFileInfo::exists(b));
    }
    void TearDown() override {
        if (socat.state() != QProcess::NotRunning) {
            socat.terminate();
            socat.waitForFinished(10000);
        }
    }
};

} // namespace

TEST_F(SerialPortTest, EveryByteCrossesRawBothWays) {
    SerialPort pa, pb;
    QString error;
    ASSERT_TRUE(pa.open(a, &error)) << error.toStdString();
    ASSERT_TRUE(pa.applySettings("9600,e,8,1", &error)) << error.toStdString();
    ASSERT_TRUE(pb.open(b, &error)) << error.toStdString();
    ASSERT_TRUE(pb.applySettings("9600,n,8,1", &error)) << error.toStdString();

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i)); // also CR, LF, XON, XOFF, NUL: nothing is translated or eaten
    ASSERT_TRUE(pa.write(all));
    QByteArray got;
    program::waitWhile(
        [&] {
            got += pb.read(256 - int(got.size()), 200, 0);
            return got.size() < 256;
        },
        20000);
    EXPECT_EQ(got, all);

    ASSERT_TRUE(pb.write("\x02W\r"));
    EXPECT_EQ(pa.read(3, 10000, 0), QByteArray("\x02W\r"));
}

TEST_F(SerialPortTest, ReadStopsAtMaxBytesOrWhenTheLineGoesQuiet) {
    SerialPort pa, pb;
    ASSERT_TRUE(pa.open(a));
    ASSERT_TRUE(pb.open(b));
    EXPECT_TRUE(pa.read(10, 0).isEmpty());
    ASSERT_TRUE(pb.write("0123456789"));
    EXPECT_EQ(pa.read(4, 10000), "0123");
    // The rest came at once; with an interval limit the read ends when no more comes.
    EXPECT_EQ(pa.read(100, 60000, 50), "456789");
    ASSERT_TRUE(pb.write("xyz"));
    program::waitMs(50);
    pa.flushInput();
    EXPECT_TRUE(pa.read(10, 0).isEmpty());
}

TEST_F(SerialPortTest, OpenIsExclusiveAndSettingsAreChecked) {
    SerialPort first, second;
    QString error;
    ASSERT_TRUE(first.open(a, &error));
    EXPECT_FALSE(second.open(a, &error));
    EXPECT_FALSE(error.isEmpty());
    for (const char* bad : {"", "9600,x,8,1", "1234,n,8,1", "9600,n,9,1", "9600,n,8,1.5", "abc", "9600,n,8,1,0"})
        EXPECT_FALSE(first.applySettings(bad, &error)) << bad;
    for (const char* good : {"9600,e,8,1", "9600,n,8,1", "19200,O,7,2", "4800", "115200,n,8"})
        EXPECT_TRUE(first.applySettings(good, &error)) << good << " " << error.toStdString();
    first.close();
    EXPECT_FALSE(first.isOpen());
    EXPECT_TRUE(second.open(a, &error)) << error.toStdString();
    EXPECT_FALSE(SerialPort().applySettings("9600,n,8,1"));
}

TEST(SerialPort, ComNamesResolveThroughTheSerialCommMap) {
    auto& reg = registry::RegistryStore::instance();
    ASSERT_TRUE(reg.setValue(registry::Root::LocalMachine, registry::kSerialCommMapKey,
                             registry::Value{"/dev/ttyUSB7", registry::REG_SZ, QString("COM3")}));
    EXPECT_EQ(SerialPort::devicePathFor("COM3"), "/dev/ttyUSB7");
    EXPECT_EQ(SerialPort::devicePathFor("com3:"), "/dev/ttyUSB7");
    EXPECT_EQ(SerialPort::devicePathFor("COM2"), "/dev/ttyS1");
    EXPECT_EQ(SerialPort::devicePathFor("/dev/ttyACM0"), "/dev/ttyACM0");
    reg.deleteValue(registry::Root::LocalMachine, registry::kSerialCommMapKey, "/dev/ttyUSB7");
    EXPECT_EQ(SerialPort::devicePathFor("COM3"), "/dev/ttyS2");
    SerialPort p;
    QString error;
    EXPECT_FALSE(p.open("/nonexistent/tty", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(p.open("/dev/null", &error)); // not a serial port
}
