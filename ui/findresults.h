#pragma once

#include "library/librarysearch.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <array>

// The Find window's results, kept in rank order as they arrive: matches in
// the name (the exact name, then names that start with the words, then the
// rest), then in the synopsis, then in the body; within a rank in the order
// the search found them, which is the window's order. Each rank is a block
// of its own, so a batch only ever appends: 100,000 rows cost no moves.
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
    const LibrarySearch::Hit &hit(int row) const;

    static QString title(const LibrarySearch::Hit &hit); // "Language › Category › Name"
    // A tooltip that shows `text` as it stands, even where it looks like HTML.
    static QString plainToolTip(const QString &text);

private:
    static constexpr std::size_t blockCount = 5;
    std::array<QList<LibrarySearch::Hit>, blockCount> m_blocks;
    qsizetype m_count = 0;
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
