#pragma once
// The parameter store: registry values overlaid by this till's configtpv rows.
#include "core/NombresParametros.h"
#include "platform/Variant.h"
#include <QHash>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

class clsParametro {
public:
    QString Nombre;
    Variant valor() const; // stored value trimmed (text), Null stays Null
    void setValor(const Variant& v);
    void ActValor(const Variant& v); // set and write to the registry (REG_SZ)
    // descriptive metadata nothing reads
    QString Depende, ConsultaSql, ValoresSql, DescripcionCastellano, descripcion, Padre;
    Variant DependeValor, vrnValDef;
    bool GrabarEnServidor = false;
    int Nivel = 0;
    qint32 TipoParametro = 0;
    QString DescripcionLarga() const { return m_descripcionLarga.isEmpty() ? descripcion : m_descripcionLarga; }
    void setDescripcionLarga(const QString& s) { m_descripcionLarga = s; }
    QStringList& ListCombo() { return m_listCombo; }
    void AddCombo(const QString& s) { m_listCombo << s; }

private:
    Variant m_valor;
    bool m_blnValorAsignado = false;
    QString m_descripcionLarga;
    QStringList m_listCombo;
};

class clsParametros {
public:
    void GetParamReg();
    void CargaParametrosDesdeServidor();
    // Trimmed text of the parameter; a missing one ends the program after its message unless
    // blnDevolverVacioSiNoExiste, which gives "".
    QString getValor(const QString& strParametro, bool blnDevolverVacioSiNoExiste = false);
    // Shorthands for the readers that compare with numbers: ValNumero of the text, rounded half to
    // even where a whole number is wanted.
    double getValorNum(const QString& strParametro, bool blnDevolverVacioSiNoExiste = false);
    qint32 getValorLng(const QString& strParametro, bool blnDevolverVacioSiNoExiste = false);
    // True when the parameter reads as that number ("1" is 1, "" is 0).
    bool getValorEs(const QString& strParametro, double valor, bool blnDevolverVacioSiNoExiste = false);
    // Readers for the start-up, which must never stop half-way: a value that does not convert is
    // logged and read as false or 0. A parameter that does not exist still ends the program.
    bool getValorLogico(const QString& strParametro);
    qint16 getValorEntero16(const QString& strParametro);
    qint32 getValorEntero32(const QString& strParametro);
    void SetValor(const QString& strParametro, const Variant& vrnValor, bool blnGrabaEnServidor = false);
    void ImportarParametrosServidor(const QStringList& claves);
    bool isSkin2022() const { return false; }
    bool existe(const QString& strParametro) const;
    void resetForTests();

private:
    void InitParametros();
    struct Entry;
    std::unique_ptr<std::vector<std::shared_ptr<clsParametro>>> m_col; // null until InitParametros
    QHash<QString, std::shared_ptr<clsParametro>> m_indice;            // case-folded name -> parameter
    std::shared_ptr<clsParametro> find(const QString& name) const;
    void add(const std::shared_ptr<clsParametro>& p);
};
