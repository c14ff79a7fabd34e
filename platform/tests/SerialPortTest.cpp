#include "platform/SerialPort.h"
#include "platform/Program.h"
#include "platform/Registry.h"
#include "testsupport/Simulador.h"
#include "testsupport/Waits.h"
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <optional>

namespace {

// The port under test opens end A of a socat pseudo-terminal pair; the simulator holds end B raw.
struct SerialPortTest : ::testing::Test {
    std::optional<Simulador> sim;
    SerialPort pa;
    void SetUp() override {
        if (QStandardPaths::findExecutable("socat").isEmpty())
            GTEST_SKIP() << "socat is not installed";
        sim.emplace();
        ASSERT_TRUE(sim->arrancado());
        // Leave the line cooked, as a fresh tty is: the port must make it raw itself.
        const int fd = ::open(QFile::encodeName(sim->puerto()).constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ::tcgetattr(fd, &t);
        t.c_iflag |= ICRNL | IXON;
        t.c_oflag |= OPOST | ONLCR;
        t.c_lflag |= ICANON | ECHO | ISIG;
        ::tcsetattr(fd, TCSANOW, &t);
        ::close(fd);
        QString error;
        ASSERT_TRUE(pa.open(sim->puerto(), &error)) << error.toStdString();
    }
};

} // namespace

TEST_F(SerialPortTest, EveryByteCrossesRawBothWaysAndReadsStopAtTheCountOrTheQuiet) {
    QString error;
    ASSERT_TRUE(pa.applySettings("9600,e,8,1", &error)) << error.toStdString();
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i)); // also CR, LF, XON, XOFF, NUL: nothing is translated or eaten
    ASSERT_TRUE(pa.write(all));
    EXPECT_EQ(sim->recibido(256), all);
    sim->envia(all);
    QByteArray got;
    EXPECT_TRUE(waits::until(
        [&] {
            got += pa.read(256 - int(got.size()), 200, 0);
            return got.size() >= 256;
        },
        "the 256 bytes sent from the far end"));
    EXPECT_EQ(got, all);

    // A read stops at its byte count, or when the line goes quiet after the first byte.
    EXPECT_TRUE(pa.read(10, 0).isEmpty());
    sim->envia("0123456789");
    EXPECT_EQ(pa.read(4, 10000), "0123");
    EXPECT_EQ(pa.read(100, 60000, 50), "456789");
    // Once "x" is read, "yz" (sent in the same write) waits in the port: the flush drops it.
    sim->envia("xyz");
    EXPECT_EQ(pa.read(1, 10000), "x");
    pa.flushInput();
    sim->envia("!");
    EXPECT_EQ(pa.read(10, 10000, 50), "!");
}

TEST_F(SerialPortTest, OpenIsExclusiveAndSettingsAreChecked) {
    SerialPort second;
    QString error;
    EXPECT_FALSE(second.open(sim->puerto(), &error));
    EXPECT_FALSE(error.isEmpty());
    // The line as the pty holds it after each accepted text: speed, the odd and mark/space parity
    // bits, stop bits, and raw (a pty drops the parity-enable bit and the data size it is given);
    // those two as the port asked for them.
    const struct {
        const char* ajustes;
        speed_t velocidad;
        tcflag_t paridad;
        bool dosStop;
        tcflag_t pedidos; // parity enable and data size asked for
    } buenos[] = {
        {"9600,e,8,1", B9600, 0, false, PARENB | CS8},
        {"9600,n,8,1", B9600, 0, false, CS8},
        {"19200,O,7,2", B19200, PARODD, true, PARENB | CS7},
        {"2400,m,6,1", B2400, PARODD | CMSPAR, false, PARENB | CS6},
        {"1200,s,5,2", B1200, CMSPAR, true, PARENB | CS5},
        {"4800", B4800, 0, false, CS8},
        {"115200,n,8", B115200, 0, false, CS8},
        {"50,n,8,1", B50, 0, false, CS8},
        {"921600,n,8,1", B921600, 0, false, CS8},
    };
    for (const auto& k : buenos) {
        EXPECT_TRUE(pa.applySettings(k.ajustes, &error)) << k.ajustes << " " << error.toStdString();
        EXPECT_EQ(pa.requested().c_cflag & (PARENB | CSIZE), k.pedidos) << k.ajustes;
        const termios t = sim->ajustes();
        EXPECT_EQ(cfgetispeed(&t), k.velocidad) << k.ajustes;
        EXPECT_EQ(cfgetospeed(&t), k.velocidad) << k.ajustes;
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), k.paridad) << k.ajustes;
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, k.dosStop) << k.ajustes;
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | CRTSCTS), tcflag_t(CLOCAL | CREAD)) << k.ajustes;
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u) << k.ajustes;
        EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF), 0u) << k.ajustes;
        EXPECT_EQ(t.c_oflag & OPOST, 0u) << k.ajustes;
    }
    // A refused text leaves the line as it was.
    for (const char* bad : {"", "9600,x,8,1", "1234,n,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,0", "9600,n,8,3",
                            "9600,n,8,1.5", "abc", "9600,n,8,1,0"})
        EXPECT_FALSE(pa.applySettings(bad, &error)) << bad;
    const termios ultimo = sim->ajustes();
    EXPECT_EQ(cfgetospeed(&ultimo), B921600);
    EXPECT_EQ(cfgetospeed(&pa.requested()), B921600);
    pa.close();
    EXPECT_TRUE(second.open(sim->puerto(), &error)) << error.toStdString();
    EXPECT_FALSE(SerialPort().applySettings("9600,n,8,1"));
    EXPECT_FALSE(pa.open("/nonexistent/tty", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(pa.open("/dev/null", &error)); // not a serial port
}

TEST_F(SerialPortTest, AFarEndThatGoesAwayIsAHangUp) {
    EXPECT_FALSE(pa.hungUp());
    sim.reset(); // socat ends: the line hangs up
    EXPECT_TRUE(pa.hungUp());
    EXPECT_FALSE(pa.write("D\r\n"));
    pa.close();
    EXPECT_FALSE(pa.hungUp());
}

TEST(SerialPort, ComNamesResolveThroughTheSerialCommMap) {
    apuntaCom(3, "/dev/ttyUSB7");
    EXPECT_EQ(SerialPort::devicePathFor("COM3"), "/dev/ttyUSB7");
    EXPECT_EQ(SerialPort::devicePathFor("com3:"), "/dev/ttyUSB7");
    EXPECT_EQ(SerialPort::devicePathFor("COM2"), "/dev/ttyS1");
    EXPECT_EQ(SerialPort::devicePathFor("/dev/ttyACM0"), "/dev/ttyACM0");
    apuntaCom(3, "");
    EXPECT_EQ(SerialPort::devicePathFor("COM3"), "/dev/ttyS2");
}
