#include "ui/ModeloLog.h"

ModeloLog::ModeloLog(int filasMaximas, const QStringList& cabeceras, QObject* parent)
    : QAbstractTableModel(parent), m_filasMaximas(filasMaximas), m_cabeceras(cabeceras) {
    m_filas.reserve(filasMaximas);
}

void ModeloLog::anade(const QString& fechaHora, const QString& concepto) {
    if (m_filas.size() >= m_filasMaximas) {
        m_filas.clear();
        m_vaciada = true;
    }
    m_filas.append({fechaHora, concepto});
}

QString ModeloLog::texto(int fila, int columna) const {
    if (fila < 0 || fila >= m_filas.size())
        return {};
    return columna == 0 ? m_filas[fila].fechaHora : m_filas[fila].concepto;
}

bool ModeloLog::publica() {
    if (m_vaciada) {
        beginResetModel();
        m_vista = m_filas;
        m_vaciada = false;
        endResetModel();
        return true;
    }
    const qsizetype desde = m_vista.size();
    if (desde == m_filas.size())
        return false;
    beginInsertRows({}, int(desde), int(m_filas.size() - 1));
    m_vista.append(m_filas.mid(desde));
    endInsertRows();
    return true;
}

int ModeloLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_vista.size());
}

int ModeloLog::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ModeloLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_vista.size())
        return {};
    const Fila& f = m_vista[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? f.fechaHora : f.concepto;
    case Qt::ToolTipRole:
        return index.column() == 1 ? QVariant(f.concepto) : QVariant();
    default:
        return {};
    }
}

QVariant ModeloLog::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_cabeceras.size())
        return m_cabeceras[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}
