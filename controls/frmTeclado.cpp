#include "controls/frmTeclado.h"

#include "controls/Comun.h"
#include "controls/Formularios.h"
#include "controls/ImagenTecla.h"
#include "controls/Twips.h"
#include "core/VentanasCargadas.h"
#include "core/basLegacyFunctions.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>

namespace {
constexpr int W = 675, H = 585;
// inside Frame1, twips
const TeclaEnMarco kTeclas[] = {
    {1031, "ESC", 0, 120, W, H},          {1021, "1", 675, 120, W, H},        {1022, "2", 1350, 120, W, H},
    {1023, "3", 2025, 120, W, H},         {1024, "4", 2700, 120, W, H},       {1025, "5", 3375, 120, W, H},
    {1026, "6", 4035, 120, W, H},         {1027, "7", 4725, 120, W, H},       {1028, "8", 5400, 120, W, H},
    {1029, "9", 6075, 120, W, H},         {1030, "0", 6750, 120, W, H},       {1045, "RET", 7440, 120, 1125, H},
    {1032, "     ", 0, 720, 915, H},      {1012, "q", 945, 720, W, H},        {1013, "w", 1620, 720, W, H},
    {1014, "e", 2280, 720, W, H},         {1033, "r", 2955, 735, 660, 570},   {1015, "t", 3645, 720, W, H},
    {1016, "y", 4320, 720, W, H},         {1017, "u", 4995, 720, W, H},       {1018, "i", 5670, 720, W, H},
    {1019, "o", 6360, 720, W, H},         {1020, "p", 7020, 720, W, H},       {1044, "ENTER", 7905, 720, 660, 1185},
    {1048, "MAY", 0, 1320, 1140, H},      {1034, "a", 1155, 1320, W, H},      {1035, "s", 1830, 1320, W, H},
    {1036, "d", 2505, 1320, W, H},        {1011, "f", 3180, 1320, W, H},      {1037, "g", 3855, 1320, W, H},
    {1038, "h", 4530, 1320, W, H},        {1039, "j", 5205, 1320, W, H},      {1041, "k", 5880, 1320, W, H},
    {1040, "l", 6555, 1320, W, H},        {1042, "ñ", 7230, 1320, W, H},      {1001, "SHIFT", 0, 1920, 660, H},
    {1, "<", 705, 1920, 630, H},          {1005, "z", 1350, 1920, W, H},      {1004, "x", 2040, 1920, W, H},
    {1003, "c", 2700, 1920, W, H},        {1010, "v", 3375, 1920, W, H},      {1009, "b", 4080, 1920, W, H},
    {1008, "n", 4725, 1920, W, H},        {1007, "m", 5400, 1920, W, H},      {1006, ",", 6075, 1920, W, H},
    {1002, ".", 6750, 1920, W, H},        {0, "SHIFT", 7440, 1920, 1110, H},  {1046, "CTRL", 0, 2520, 1125, H},
    {1047, "ALT", 1125, 2520, 1125, 600}, {1043, " ", 2280, 2520, 4560, 600}, {1049, "ALT", 6855, 2520, 1020, 600},
    {1050, "CTRL", 7900, 2520, 660, H},
};
const int kUnaVez[] = {0, 1001, 1046, 1050}; // the SHIFT and CTRL keys
const QStringList kComandos = {"RET", "ENTER", "MAY", "ESC", "ALT", "CTRL", "SHIFT"};

bool esComando(const QString& tag) {
    return kComandos.contains(tag.toUpper());
}
} // namespace

frmTeclado::frmTeclado(QWidget* parent) : QDialog(parent) {
    ventanas::cargada(this, QStringLiteral("frmTeclado"));
    setWindowTitle(QStringLiteral("Teclado"));
    setFixedSize(twips::size(8700, 6255));

    auto* imgVisor = new MarcoTeclas(this);
    imgVisor->setObjectName(QStringLiteral("imgVisor"));
    imgVisor->setGeometry(twips::rect(30, 15, 8595, 2970));

    txtTexto = new QPlainTextEdit(this);
    txtTexto->setObjectName(QStringLiteral("txtTexto"));
    txtTexto->setGeometry(twips::rect(195, 150, 8250, 2610));
    QPalette pt = txtTexto->palette();
    pt.setColor(QPalette::Base, QColor(0x46, 0x46, 0x46));
    pt.setColor(QPalette::Text, Qt::white);
    txtTexto->setPalette(pt);
    QFont ft(QStringLiteral("Verdana"));
    ft.setPointSize(18);
    txtTexto->setFont(ft);
    txtTexto->setFrameShape(QFrame::NoFrame);
    txtTexto->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtTexto->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtTexto->installEventFilter(this);

    m_marco = new MarcoTeclas(this);
    m_marco->setObjectName(QStringLiteral("Frame1"));
    m_marco->setGeometry(twips::rect(15, 2985, 8655, 3135));
    for (const TeclaEnMarco& t : kTeclas) {
        const QString tag = QString::fromUtf8(t.tag);
        caras::EstiloTecla estilo = esComando(tag) ? caras::EstiloTecla::Funcion : caras::EstiloTecla::Normal;
        QString etiqueta = tag;
        if (tag == "ESC")
            estilo = caras::EstiloTecla::Borrar;
        else if (tag == "ENTER")
            estilo = caras::EstiloTecla::Intro;
        else if (tag == "     ")
            etiqueta = QStringLiteral("TAB");
        auto* k = new ImagenTecla(t.index, tag, etiqueta, estilo, m_marco);
        k->setGeometry(twips::rect(t.left + 15, t.top, t.width - 30, t.height - 30));
        connect(k, &ImagenTecla::Click, this, &frmTeclado::onTeclaClick);
        connect(k, &ImagenTecla::MouseDown, this, [this](int i) { hundeTecla(i, true); });
        connect(k, &ImagenTecla::MouseUp, this, [this](int i) { hundeTecla(i, false); });
        m_teclas.insert(t.index, k);
    }

    // the load step
    basLegacyFunctions::FuncionLegacyVacia(Variant(), -1, -1);
    blnOk = true;
    blnHabilitarSimbolos = false;
    actualizaEtiquetas();
}

QString frmTeclado::texto() const {
    return txtTexto->toPlainText();
}

void frmTeclado::setTexto(const QString& texto) {
    QString t = texto;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    txtTexto->setPlainText(t);
}

ImagenTecla* frmTeclado::tecla(const QString& tag) const {
    for (ImagenTecla* k : m_teclas)
        if (k->tag() == tag || (esComando(tag) && k->tag().compare(tag, Qt::CaseInsensitive) == 0))
            return k;
    return nullptr;
}

void frmTeclado::showEvent(QShowEvent* e) {
    if (!m_centrado) {
        m_centrado = true;
        controls::centraEnPantalla(this);
    }
    actualizaEtiquetas();
    QDialog::showEvent(e);
    txtTexto->setFocus();
    txtTexto->moveCursor(QTextCursor::End);
}

// ---------------------------------------------------------------- editing

void frmTeclado::InsertaTexto(const QString& s) {
    QTextCursor c = txtTexto->textCursor();
    const int p = c.selectionStart();
    c.clearSelection();
    c.setPosition(p);
    c.insertText(s);
    txtTexto->setTextCursor(c);
}

void frmTeclado::teclaBorrar() {
    QTextCursor c = txtTexto->textCursor();
    if (c.hasSelection())
        c.removeSelectedText();
    else if (c.position() > 0)
        c.deletePreviousChar();
    txtTexto->setTextCursor(c);
}

QString frmTeclado::textoTecla(const QString& t) const {
    if (!mayusculas())
        return t;
    if (blnHabilitarSimbolos) {
        static const QMap<QString, QString> simbolos = {{"1", "!"}, {"2", "@"}, {"3", "#"}, {"4", "$"},
                                                        {"5", "%"}, {"7", "/"}, {"8", "("}, {"9", ")"},
                                                        {"0", "="}, {".", ":"}, {",", "_"}, {"<", ">"}};
        return simbolos.value(t, t.toUpper());
    }
    if (t == ".")
        return QStringLiteral(":");
    if (t == ",")
        return QStringLiteral("_");
    if (t == "<")
        return QStringLiteral(">");
    return t.toUpper();
}

void frmTeclado::actualizaEtiquetas() {
    for (ImagenTecla* k : m_teclas) {
        const QString tag = k->tag();
        if (esComando(tag) || tag.trimmed().isEmpty())
            continue;
        k->setEtiqueta(textoTecla(tag));
    }
}

void frmTeclado::sueltaTeclasUnaVez() {
    for (int i : kUnaVez)
        if (ImagenTecla* k = m_teclas.value(i))
            k->setHundida(false);
}

// ---------------------------------------------------------------- events

void frmTeclado::onTeclaClick(int index) {
    ImagenTecla* k = m_teclas.value(index);
    if (!k)
        return;
    const QString tag = k->tag();
    const QString cmd = tag.toUpper();
    if (cmd == "RET") {
        teclaBorrar();
    } else if (cmd == "ENTER") {
        if (mayusculas())
            InsertaTexto(QStringLiteral("\n"));
        else
            hide();
    } else if (cmd == "MAY") {
        m_bloqMayus = !m_bloqMayus;
        k->setHundida(m_bloqMayus);
    } else if (cmd == "ESC") {
        blnOk = false;
        hide();
    } else if (cmd == "ALT") {
        txtTexto->clear();
    } else if (cmd == "CTRL") {
        if (blnHabilitarSimbolos)
            InsertaTexto(QStringLiteral("\\"));
    } else if (cmd == "SHIFT") {
        // below
    } else {
        InsertaTexto(textoTecla(tag));
    }

    // SHIFT, or CTRL without the symbol layer, makes the next key upper case; pressing it again
    // disarms it. The MAY lock is not touched by the one-shot keys.
    if (m_blnShiftPulsado) {
        sueltaTeclasUnaVez();
        m_blnShiftPulsado = false;
    } else if (cmd == "SHIFT" || (cmd == "CTRL" && !blnHabilitarSimbolos)) {
        k->setHundida(true);
        m_blnShiftPulsado = true;
    }
    actualizaEtiquetas();
}

void frmTeclado::hundeTecla(int index, bool hundida) {
    ImagenTecla* k = m_teclas.value(index);
    if (!k)
        return;
    const QString cmd = k->tag().toUpper();
    if (cmd != "SHIFT" && cmd != "MAY")
        k->setHundida(hundida);
}

bool frmTeclado::eventFilter(QObject* obj, QEvent* e) {
    if (obj == txtTexto && e->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            hide(); // accept; the Enter is not typed into the field
            return true;
        }
        if (k->key() == Qt::Key_Escape) {
            blnOk = false;
            hide();
            return true;
        }
    }
    return QDialog::eventFilter(obj, e);
}

void frmTeclado::reject() {
    blnOk = false;
    hide();
}

// ---------------------------------------------------------------- modal use

frmTeclado::Peticion& frmTeclado::peticion() {
    static Peticion p;
    return p;
}

int frmTeclado::mostrar() {
    const Peticion p = std::exchange(peticion(), Peticion{});
    frmTeclado f(QApplication::activeWindow());
    if (!p.caption.isEmpty())
        f.setWindowTitle(p.caption);
    f.setTexto(p.texto);
    f.blnHabilitarSimbolos = p.blnHabilitarSimbolos;
    f.exec();
    peticion().texto = f.texto();
    peticion().blnOk = f.blnOk;
    return f.blnOk ? 1 : 0;
}

bool frmTeclado::Pedir(const QString& caption, QString& texto) {
    controls::registrarFormularios();
    Peticion p;
    p.caption = caption;
    p.texto = texto;
    peticion() = p;
    const bool ok = prompts::current().showForm(QStringLiteral("frmTeclado")) == 1;
    if (ok)
        texto = peticion().texto;
    return ok;
}

namespace {
class AbrirAlTocar final : public QObject {
public:
    AbrirAlTocar(QLineEdit* campo, std::function<QString()> caption)
        : QObject(campo), m_campo(campo), m_caption(std::move(caption)) {}

    bool eventFilter(QObject* obj, QEvent* e) override {
        if (obj == m_campo && e->type() == QEvent::MouseButtonRelease) {
            const auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::LeftButton && m_campo->rect().contains(m->position().toPoint()))
                QMetaObject::invokeMethod(
                    this, [this] { abre(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void abre() {
        if (!m_campo || !m_campo->isEnabled())
            return;
        QString texto = m_campo->text();
        if (frmTeclado::Pedir(m_caption ? m_caption() : QString(), texto) && m_campo)
            m_campo->setText(texto);
    }

    QPointer<QLineEdit> m_campo;
    std::function<QString()> m_caption;
};
} // namespace

void frmTeclado::abrirAlTocar(QLineEdit* campo, std::function<QString()> caption) {
    if (campo)
        campo->installEventFilter(new AbrirAlTocar(campo, std::move(caption)));
}
