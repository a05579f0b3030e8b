#include "ui/findresults.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr int margin = 3;
constexpr int linesPerRow = 3;

} // namespace

int FindResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

QString FindResultsModel::title(const LibrarySearch::Hit &hit)
{
    const QString separator = QStringLiteral(" \u203A ");
    return hit.language + separator + hit.category + separator + hit.name;
}

QVariant FindResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_hits.size())
        return QVariant();
    const LibrarySearch::Hit &hit = m_hits.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        QString text = title(hit);
        if (!hit.synopsis.isEmpty())
            text += QLatin1Char('\n') + hit.synopsis;
        if (!hit.match.bodyLine.isEmpty())
            text += QLatin1Char('\n') + hit.match.bodyLine;
        return text;
    }
    case SynopsisRole:
        return hit.synopsis;
    case BodyLineRole:
        return hit.match.bodyLine;
    default:
        return QVariant();
    }
}

void FindResultsModel::clear()
{
    beginResetModel();
    m_hits.clear();
    m_rankEnd.fill(0);
    endResetModel();
}

void FindResultsModel::add(const QList<LibrarySearch::Hit> &hits)
{
    // A batch holds ranks in any mix; each rank's run goes to the end of its
    // block, so the list stays in order without ever being sorted.
    for (std::size_t rank = 0; rank < m_rankEnd.size(); ++rank) {
        QList<LibrarySearch::Hit> ofRank;
        for (const LibrarySearch::Hit &hit : hits) {
            if (std::size_t(hit.match.rank) == rank)
                ofRank.append(hit);
        }
        if (ofRank.isEmpty())
            continue;
        const qsizetype at = m_rankEnd[rank];
        beginInsertRows(QModelIndex(), int(at), int(at + ofRank.size() - 1));
        m_hits.insert(at, ofRank.size(), LibrarySearch::Hit());
        std::move(ofRank.begin(), ofRank.end(), m_hits.begin() + at);
        for (std::size_t later = rank; later < m_rankEnd.size(); ++later)
            m_rankEnd[later] += ofRank.size();
        endInsertRows();
    }
}

void FindResultDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const auto *model = qobject_cast<const FindResultsModel *>(index.model());
    if (!model)
        return;
    const LibrarySearch::Hit &hit = model->hit(index.row());
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        opt.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor text = opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor dim = text;
    dim.setAlphaF(0.7f);

    painter->save();
    painter->setClipRect(opt.rect);
    const QRect area = opt.rect.adjusted(margin * 2, margin, -margin * 2, -margin);
    const QFontMetrics metrics(opt.font);
    const int lineHeight = metrics.lineSpacing();
    QRect line(area.left(), area.top(), area.width(), lineHeight);

    QFont bold = opt.font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(text);
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(bold).elidedText(FindResultsModel::title(hit), Qt::ElideMiddle,
                                                     line.width()));
    line.translate(0, lineHeight);
    painter->setFont(opt.font);
    painter->setPen(dim);
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(hit.synopsis, Qt::ElideRight, line.width()));

    if (!hit.match.bodyLine.isEmpty()) {
        line.translate(0, lineHeight);
        QTextLayout layout(hit.match.bodyLine, opt.font);
        QList<QTextLayout::FormatRange> formats;
        for (const auto &[start, length] : hit.match.highlights) {
            QTextCharFormat format;
            format.setFontWeight(QFont::Bold);
            formats.append({int(start), int(length), format});
        }
        layout.setFormats(formats);
        QTextOption textOption;
        textOption.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(textOption);
        layout.beginLayout();
        QTextLine textLine = layout.createLine();
        layout.endLayout();
        if (textLine.isValid()) {
            painter->setPen(text);
            painter->setClipRect(line.intersected(opt.rect));
            layout.draw(painter, line.topLeft());
        }
    }
    painter->restore();
}

QSize FindResultDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    // One height for every row lets the view lay out 100,000 rows at once.
    return QSize(option.rect.width(),
                 QFontMetrics(option.font).lineSpacing() * linesPerRow + 2 * margin);
}
