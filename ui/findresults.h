#pragma once

#include "library/librarysearch.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <array>

// The Find window's results, kept in rank order as they arrive: matches in
// the name, then in the synopsis, then in the body; within a rank in the
// order the search found them, which is the window's order.
class FindResultsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { SynopsisRole = Qt::UserRole, BodyLineRole };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void clear();
    void add(const QList<LibrarySearch::Hit> &hits);
    const LibrarySearch::Hit &hit(int row) const { return m_hits.at(row); }

    static QString title(const LibrarySearch::Hit &hit); // "Language › Category › Name"

private:
    QList<LibrarySearch::Hit> m_hits;
    std::array<qsizetype, 3> m_rankEnd{}; // one past each rank's last row
};

// Three lines per row: where the snippet is, its synopsis, and the first
// matching body line with the words in bold.
class FindResultDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
