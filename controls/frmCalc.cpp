#include "controls/frmCalc.h"

#include "controls/Comun.h"
#include "controls/Formularios.h"
#include "controls/ImagenTecla.h"
#include "controls/Twips.h"
#include "controls/ctrBoton.h"
#include "core/VentanasCargadas.h"
#include "core/basFuncionesComunes.h"
#include "core/basLegacyFunctions.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

namespace {
// inside the keypad frame, twips
const TeclaEnMarco kTeclas[] = {
    {21, "7", 60, 990, 705, 690},     {22, "8", 780, 990, 705, 690},     {23, "9", 1500, 990, 705, 690},
    {26, "RET", 2220, 990, 705, 690}, {18, "4", 60, 1700, 705, 690},     {19, "5", 780, 1700, 705, 690},
    {20, "6", 1500, 1700, 705, 690},  {27, "AC", 2220, 1700, 705, 690},  {14, "1", 60, 2410, 705, 690},
    {16, "2", 780, 2410, 705, 690},   {17, "3", 1500, 2410, 705, 690},   {25, "ENTER", 2220, 2415, 705, 1455},
    {15, "0", 60, 3150, 1440, 705},   {24, "DEC", 1500, 3150, 705, 690},
};
constexpr int kIndexEnter = 25;

bool tieneSeparador(const QString& s) {
    return s.contains('.') || s.contains(',');
}
} // namespace

frmCalc::frmCalc(QWidget* parent) : QDialog(parent) {
    ventanas::cargada(this, QStringLiteral("frmCalc"));
    setWindowTitle(QString());
    setFixedSize(twips::size(3090, 5340));
    setFocusPolicy(Qt::StrongFocus);

    lblDesc = new QLabel(this);
    lblDesc->setObjectName(QStringLiteral("lblDesc"));
    lblDesc->setGeometry(twips::rect(0, 0, 3135, 735));
    QFont fDesc(QStringLiteral("MS Sans Serif"));
    fDesc.setPointSize(12);
    fDesc.setBold(true);
    lblDesc->setFont(fDesc);
    lblDesc->setAlignment(Qt::AlignCenter);
    lblDesc->setWordWrap(true);

    m_marco = new MarcoTeclas(this);
    m_marco->setObjectName(QStringLiteral("frmCalculadora"));
    m_marco->setGeometry(twips::rect(0, 720, 3030, 3945));
    m_marco->setMarcoVisor(twips::rect(240, 240, 2535, 735));

    lblVisor = new QLabel(QStringLiteral("0"), m_marco);
    lblVisor->setObjectName(QStringLiteral("lblVisor"));
    lblVisor->setGeometry(twips::rect(360, 360, 2295, 495));
    lblVisor->setAutoFillBackground(true);
    QPalette pv = lblVisor->palette();
    pv.setColor(QPalette::Window, Qt::black);
    pv.setColor(QPalette::WindowText, QColor(0, 255, 255));
    lblVisor->setPalette(pv);
    QFont fVisor(QStringLiteral("Arial"));
    fVisor.setPointSize(18);
    lblVisor->setFont(fVisor);
    lblVisor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblVisor->setContentsMargins(4, 0, 6, 0);

    m_teclas = tecladoNumerico(kTeclas, QStringLiteral("."), m_marco);
    for (ImagenTecla* k : m_teclas)
        connect(k, &ImagenTecla::Click, this, &frmCalc::onTeclaClick);

    ctrAceptar = new ctrBoton(this);
    ctrAceptar->setObjectName(QStringLiteral("ctrAceptar"));
    ctrAceptar->setCaption(QStringLiteral("Aceptar"));
    ctrAceptar->move(twips::px(120), twips::px(4800));
    ctrCancelar = new ctrBoton(this);
    ctrCancelar->setObjectName(QStringLiteral("ctrCancelar"));
    ctrCancelar->setCaption(QStringLiteral("Cancelar"));
    ctrCancelar->move(twips::px(1680), twips::px(4800));
    connect(ctrAceptar, &ctrBoton::Click, this, &frmCalc::onAceptar);
    connect(ctrCancelar, &ctrBoton::Click, this, &frmCalc::onCancelar);

    tmrActivarIntro = new QTimer(this);
    tmrActivarIntro->setInterval(500);
    connect(tmrActivarIntro, &QTimer::timeout, this, &frmCalc::onActivarIntro);

    // the load step
    basLegacyFunctions::FuncionLegacyVacia(Variant(), -1, -1);
    if (QGuiApplication::overrideCursor()) {
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        m_cursorCambiado = true;
    }
}

frmCalc::~frmCalc() {
    if (m_cursorCambiado)
        QGuiApplication::restoreOverrideCursor();
}

QString frmCalc::visor() const {
    return lblVisor->text();
}
void frmCalc::setVisor(const QString& texto) {
    lblVisor->setText(texto);
}

ImagenTecla* frmCalc::tecla(const QString& tag) const {
    return teclaPorTag(m_teclas, tag);
}

void frmCalc::showEvent(QShowEvent* e) {
    lblDesc->setText(strDescripcion);
    if (!m_centrado) {
        m_centrado = true;
        controls::centraEnPantalla(this);
    }
    QDialog::showEvent(e);
    setFocus();
}

void frmCalc::paintEvent(QPaintEvent* e) {
    if (lblDesc->text() != strDescripcion)
        lblDesc->setText(strDescripcion);
    QDialog::paintEvent(e);
}

// ---------------------------------------------------------------- the rules

QString frmCalc::normaliza(const QString& texto) const {
    return controls::numeroCorto(basFuncionesComunes::ValNumero(texto));
}

void frmCalc::aceptar() {
    if (blnIntroDesactivado)
        return;
    if (blnEliminaCerosIzquierda)
        setVisor(normaliza(visor()));
    blnOk = true;
    hide();
}

// The display takes one character past MaxLongitud (9 with the default 8); the next one is
// refused with a beep.
bool frmCalc::llena(const QString& v) const {
    if (v.size() <= m_maxLongitud)
        return false;
    QApplication::beep();
    return true;
}

void frmCalc::digito(const QString& d) {
    if (m_blnPrimeraTecla) { // the first digit replaces the value the caller wrote
        m_blnPrimeraTecla = false;
        setVisor(d);
        return;
    }
    const QString v = visor();
    if (llena(v))
        return;
    if (d == "0")
        setVisor(v + "0"); // zeros after the decimal point must survive
    else if (blnEliminaCerosIzquierda)
        setVisor(normaliza(v + d));
    else
        setVisor(v + d);
}

void frmCalc::decimal(const QString& separador) {
    if (m_blnPrimeraTecla) {
        m_blnPrimeraTecla = false;
        setVisor("0" + separador);
        return;
    }
    const QString v = visor();
    if (tieneSeparador(v))
        return; // one decimal point is enough
    if (llena(v))
        return;
    setVisor(v + separador);
}

void frmCalc::teclaPantalla(const QString& tagOriginal) {
    const QString tag = tagOriginal.toUpper();
    if (blnSoloEnteros && tag == "DEC")
        return;
    const QString v = visor();
    if (tag == "RET")
        setVisor(v.size() >= 2 ? v.left(v.size() - 1) : QStringLiteral("0"));
    else if (tag == "AC")
        setVisor(QStringLiteral("0"));
    else if (tag == "ENTER")
        aceptar();
    else if (tag == "DEC")
        decimal(QStringLiteral("."));
    else
        digito(tag);
}

void frmCalc::teclaFisica(int keyAscii) {
    const QChar c(keyAscii);
    if (blnSoloEnteros && (c == '.' || c == ','))
        keyAscii = 0;
    if (keyAscii == 0)
        return;
    if (c >= '0' && c <= '9') {
        digito(QString(c));
    } else if (c == '.' || c == ',') {
        decimal(QStringLiteral(",")); // the keyboard's decimal key writes a comma
    } else if (c == '-' && blnPermitirNegativo) {
        const QString v = visor();
        setVisor(v.startsWith('-') ? v.mid(1) : "-" + v);
        m_blnPrimeraTecla = false;
    } else if (keyAscii == 8) {
        const QString v = visor();
        if (v.isEmpty())
            return;
        if (v.size() == 1 || (v.size() == 2 && v.startsWith('-')))
            setVisor(QStringLiteral("0"));
        else if (blnEliminaCerosIzquierda)
            setVisor(normaliza(v.left(v.size() - 1)));
        else
            setVisor(v.left(v.size() - 1));
    } else if (keyAscii == 13) {
        aceptar();
    }
}

// ---------------------------------------------------------------- events

void frmCalc::onTeclaClick(int index) {
    if (ImagenTecla* k = m_teclas.value(index))
        teclaPantalla(k->tag());
}

void frmCalc::onAceptar() {
    onTeclaClick(kIndexEnter);
}

void frmCalc::onCancelar() {
    blnOk = false;
    hide();
}

void frmCalc::reject() {
    onCancelar();
}

void frmCalc::onActivarIntro() {
    blnIntroDesactivado = false;
}

void frmCalc::keyPressEvent(QKeyEvent* e) {
    const int c = controls::codigoCaracter(e);
    if (c == 0 || c == 27) {
        e->ignore(); // Escape does not close the keypad; Cancelar does
        return;
    }
    teclaFisica(c);
    e->accept();
}

// ---------------------------------------------------------------- modal use

frmCalc::Peticion& frmCalc::peticion() {
    static Peticion p;
    return p;
}

int frmCalc::mostrar() {
    const Peticion p = std::exchange(peticion(), Peticion{});
    frmCalc f(QApplication::activeWindow());
    f.strDescripcion = p.descripcion;
    f.blnSoloEnteros = p.blnSoloEnteros;
    f.blnPermitirNegativo = p.blnPermitirNegativo;
    f.blnEliminaCerosIzquierda = p.blnEliminaCerosIzquierda;
    f.setMaxLongitud(p.maxLongitud);
    f.setVisor(p.valor);
    f.exec();
    peticion().valor = f.visor();
    peticion().blnOk = f.blnOk;
    return f.blnOk ? 1 : 0;
}

bool frmCalc::Pedir(Peticion& p) {
    controls::registrarFormularios();
    peticion() = p;
    const bool ok = prompts::current().showForm(QStringLiteral("frmCalc")) == 1;
    if (ok)
        p.valor = peticion().valor;
    p.blnOk = ok;
    return ok;
}

bool frmCalc::Pedir(const QString& descripcion, QString& valor) {
    Peticion p;
    p.descripcion = descripcion;
    p.valor = valor;
    const bool ok = Pedir(p);
    if (ok)
        valor = p.valor;
    return ok;
}
