#include "controls/frmPassword.h"

#include "controls/Comun.h"
#include "controls/Formularios.h"
#include "controls/ImagenTecla.h"
#include "controls/Twips.h"
#include "core/VentanasCargadas.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>

namespace {
const TeclaEnMarco kTeclas[] = {
    {7, "7", 60, 150, 705, 690},      {8, "8", 780, 150, 705, 690},      {9, "9", 1500, 150, 705, 690},
    {10, "RET", 2220, 150, 705, 690}, {4, "4", 60, 855, 705, 690},       {5, "5", 780, 855, 705, 690},
    {6, "6", 1500, 855, 705, 690},    {11, "AC", 2220, 855, 705, 690},   {1, "1", 60, 1560, 705, 690},
    {2, "2", 780, 1560, 705, 690},    {3, "3", 1500, 1560, 705, 690},    {12, "ENTER", 2220, 1560, 705, 1410},
    {0, "0", 60, 2265, 1410, 705},    {13, "DEC", 1500, 2265, 705, 690},
};
constexpr int kMaxDigitos = 9;

int teclaEnter() {
    return gintTeclaEnter != 0 ? gintTeclaEnter : 13;
}
} // namespace

frmPassword::frmPassword(QWidget* parent) : QDialog(parent) {
    ventanas::cargada(this, QStringLiteral("frmPassword"));
    setWindowTitle(QStringLiteral("Introduzca la Contraseña"));
    setFixedSize(twips::size(3015, 4575));
    setFocusPolicy(Qt::StrongFocus);

    auto* fondoVisor = new MarcoTeclas(this);
    fondoVisor->setObjectName(QStringLiteral("Image14"));
    fondoVisor->setGeometry(twips::rect(240, 240, 2630, 975));

    lblVisor = new QLabel(this);
    lblVisor->setObjectName(QStringLiteral("lblVisor"));
    lblVisor->setGeometry(twips::rect(360, 360, 2390, 735));
    lblVisor->setAutoFillBackground(true);
    QPalette pv = lblVisor->palette();
    pv.setColor(QPalette::Window, Qt::black);
    pv.setColor(QPalette::WindowText, QColor(0, 255, 255));
    lblVisor->setPalette(pv);
    QFont fVisor(QStringLiteral("Verdana"));
    fVisor.setPointSizeF(26.25);
    lblVisor->setFont(fVisor);
    lblVisor->setAlignment(Qt::AlignCenter);

    m_marco = new MarcoTeclas(this);
    m_marco->setObjectName(QStringLiteral("frmCalc"));
    m_marco->setGeometry(twips::rect(0, 1440, 3030, 3105));
    m_teclas = tecladoNumerico(kTeclas, QStringLiteral(","), m_marco);
    for (ImagenTecla* k : m_teclas)
        connect(k, &ImagenTecla::Click, this, &frmPassword::onTeclaClick);

    // the load step
    basLegacyFunctions::FuncionLegacyVacia(Variant(), -1, -1);
    lblVisor->clear();
}

ImagenTecla* frmPassword::tecla(const QString& tag) const {
    return teclaPorTag(m_teclas, tag);
}

void frmPassword::showEvent(QShowEvent* e) {
    if (!m_centrado) {
        m_centrado = true;
        controls::centraEnPantalla(this);
    }
    QDialog::showEvent(e);
    setFocus();
}

// ---------------------------------------------------------------- the rules

void frmPassword::compara() {
    const QString esperado = lngPassword != 0 ? QString::number(lngPassword) : QString::fromLatin1(kCodigoFijo);
    blnOk = basFuncionesComunes::ValNumero(esperado) == basFuncionesComunes::ValNumero(strPass);
}

void frmPassword::muestraVisor() {
    lblVisor->setText(QString(strPass.size(), '*'));
}

void frmPassword::decimal() {
    if (!strPass.endsWith(','))
        strPass += ',';
}

void frmPassword::digitoPantalla(const QString& d) {
    if (strPass.size() < kMaxDigitos)
        strPass += d; // leading zeros stay
    else
        QApplication::beep();
}

void frmPassword::onTeclaClick(int index) {
    ImagenTecla* k = m_teclas.value(index);
    if (!k)
        return;
    const QString tag = k->tag().toUpper();
    if (tag == "RET") {
        if (!strPass.isEmpty())
            strPass.chop(1);
    } else if (tag == "AC") {
        strPass.clear();
    } else if (tag == "ENTER") {
        if (intTipoForm == 0)
            compara();
        muestraVisor();
        hide();
        return;
    } else if (tag == "DEC") {
        decimal();
    } else {
        digitoPantalla(k->tag());
    }
    muestraVisor();
}

void frmPassword::ProcesaTecla(int codigo) {
    const QChar c(codigo);
    if (c >= '0' && c <= '9') {
        if (strPass.size() < kMaxDigitos) {
            // read as a number, so a leading zero goes as soon as the next digit comes
            strPass = controls::numeroCorto(basFuncionesComunes::ValNumero(strPass + c));
        } else {
            QApplication::beep();
        }
    } else if (c == '.') {
        decimal();
    } else if (codigo == 8) {
        if (!strPass.isEmpty())
            strPass.chop(1);
    } else if (codigo == teclaEnter()) {
        compara();
        muestraVisor();
        hide();
        return;
    }
    muestraVisor();
}

bool frmPassword::remapea(int keyCode) {
    if (keyCode < 0 || keyCode > 255)
        return false;
    const QVariant& entrada = gvarMapaTeclas[keyCode];
    if (entrada.typeId() != QMetaType::QVariantList && entrada.typeId() != QMetaType::QStringList)
        return false;
    const QVariantList e = entrada.toList();
    if (e.isEmpty())
        return false;
    const double tipo = basFuncionesComunes::ValNumero(e.value(0).toString());
    if ((tipo == 33 || tipo == 34) && objParametros().lee(param::FuncRS6500) == 1) {
        ProcesaTecla(qint16(basFuncionesComunes::ValNumero(e.value(1).toString())));
        return true;
    }
    if (tipo == 3) {
        ProcesaTecla(teclaEnter());
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- events

void frmPassword::keyPressEvent(QKeyEvent* e) {
    if (remapea(controls::codigoTecla(e))) {
        e->accept();
        return;
    }
    const int c = controls::codigoCaracter(e);
    if (c == 0 || c == 27) {
        e->ignore();
        return;
    }
    ProcesaTecla(c);
    e->accept();
}

// ---------------------------------------------------------------- modal use

frmPassword::Peticion& frmPassword::peticion() {
    static Peticion p;
    return p;
}

int frmPassword::mostrar() {
    const Peticion p = std::exchange(peticion(), Peticion{});
    frmPassword f(QApplication::activeWindow());
    f.lngPassword = p.lngPassword;
    f.intTipoForm = p.intTipoForm;
    f.exec();
    peticion().strPass = f.strPass;
    peticion().blnOk = f.blnOk;
    return f.blnOk ? 1 : 0;
}

bool frmPassword::Pedir(Peticion& p) {
    controls::registrarFormularios();
    peticion() = p;
    p.blnOk = prompts::current().showForm(QStringLiteral("frmPassword")) == 1;
    p.strPass = peticion().strPass;
    return p.blnOk;
}

bool frmPassword::Pedir(qint32 lngPassword) {
    Peticion p;
    p.lngPassword = lngPassword;
    return Pedir(p);
}
