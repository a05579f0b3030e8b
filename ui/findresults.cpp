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
    return parent.isValid() ? 0 : int(m_count);
}

const LibrarySearch::Hit &FindResultsModel::hit(int row) const
{
    qsizetype at = row;
    for (const QList<LibrarySearch::Hit> &block : m_blocks) {
        if (at < block.size())
            return block.at(at);
        at -= block.size();
    }
    Q_UNREACHABLE();
    return m_blocks[0].at(0);
}

QString FindResultsModel::plainToolTip(const QString &text)
{
    // Qt takes a tooltip for HTML when it merely looks like it; escaped in a
    // paragraph that keeps line breaks, it reads as typed.
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped()
        + QStringLiteral("</p>");
}

QString FindResultsModel::title(const LibrarySearch::Hit &hit)
{
    const QString separator = QStringLiteral(" \u203A ");
    return hit.language + separator + hit.category + separator + hit.name;
}

QVariant FindResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_count)
        return QVariant();
    const LibrarySearch::Hit &hit = this->hit(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        QString text = title(hit);
        if (!hit.synopsis.isEmpty())
            text += QLatin1Char('\n') + hit.synopsis;
        if (!hit.match.bodyLine.isEmpty())
            text += QLatin1Char('\n') + hit.match.bodyLine;
        return role == Qt::ToolTipRole ? plainToolTip(text) : text;
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
    for (QList<LibrarySearch::Hit> &block : m_blocks)
        block.clear();
    m_count = 0;
    endResetModel();
}

void FindResultsModel::add(const QList<LibrarySearch::Hit> &hits)
{
    const auto blockOf = [](const LibrarySearch::Hit &hit) {
        return hit.match.rank == SnippetQuery::Rank::Name
            ? std::size_t(hit.match.nameOrder)
            : std::size_t(hit.match.rank) + 2;
    };
    for (std::size_t block = 0; block < blockCount; ++block) {
        QList<LibrarySearch::Hit> ofBlock;
        for (const LibrarySearch::Hit &hit : hits) {
            if (blockOf(hit) == block)
                ofBlock.append(hit);
        }
        if (ofBlock.isEmpty())
            continue;
        qsizetype at = 0;
        for (std::size_t before = 0; before <= block; ++before)
            at += m_blocks[before].size();
        const qsizetype added = ofBlock.size();
        beginInsertRows(QModelIndex(), int(at), int(at + added - 1));
        m_blocks[block].append(std::move(ofBlock));
        m_count += added;
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
