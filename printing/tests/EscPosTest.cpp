// The length of each ESC/POS command family, read from its own parameter bytes and bounded by the text.
#include "printing/EscPos.h"
#include "PrinterFixture.h"
#include "platform/Cp1252.h"

using printertest::bytes;

// The commands every ticket carries are measured by the printer-layer and golden-ticket tests.
TEST(EscPos, EachCommandSpansItsParameters) {
    const struct Caso {
        QByteArray comando;
        qsizetype largo;
        bool relleno = true; // followed by NULs, so that only its own bytes set the length
    } casos[] = {
        // clang-format off
        {bytes({27}), 1, false}, {bytes({27, 29, 'x'}), 4}, {bytes({27, '$'}), 4}, {bytes({27, 'B'}), 4},
        {bytes({27, 'c'}), 4}, {bytes({27, 'W'}), 10}, {bytes({27, 'W'}), 2, false}, {bytes({27, 'D', 1, 2}), 5},
        {bytes({27, '*', 33, 2}), 11}, {bytes({27, '*', 0, 2}), 7}, {bytes({27, '(', 'A', 2}), 7},
        {bytes({27, '&', 3, 65, 66, 2}), 13},
        {bytes({29}), 1, false}, {bytes({29, ':'}), 2}, {bytes({29, '$'}), 4}, {bytes({29, '^'}), 5},
        {bytes({29, 'V', 65}), 4}, {bytes({29, '(', 'k', 3}), 8}, {bytes({29, '8', 'L', 1}), 6},
        {bytes({29, '*', 1, 2}), 20}, {bytes({29, 'v', '0', 0, 2, 0, 3}), 14}, {bytes({29, 'k', 4, 'A', 'B'}), 6},
        {bytes({29, 'k', 65, 3}), 7},
        {bytes({28}), 1, false}, {bytes({28, '&'}), 2}, {bytes({28, 'p'}), 4}, {bytes({28, '2'}), 76},
        {bytes({28, 'q', 1, 1, 0, 1}), 15}, {bytes({28, '!'}), 3},
        {bytes({16, 4}), 3}, {bytes({16, 20}), 5}, {bytes({16, 'x'}), 2}
        // clang-format on
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.comando.toHex(' ').toStdString());
        const QString texto = cp1252::decode(c.comando + QByteArray(c.relleno ? 400 : 0, '\0'));
        EXPECT_EQ(escpos::longitudComando(texto, 0), c.largo);
    }
    EXPECT_EQ(escpos::longitudComando(QStringLiteral("x"), 1), 0);
    EXPECT_EQ(escpos::longitudComando(QStringLiteral("x"), -1), 0);
}
