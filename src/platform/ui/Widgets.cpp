#include "platform/ui/Widgets.h"

#include <QKeyEvent>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

#include <algorithm>

#include "platform/ui/Dialog.h"

namespace uiw {

void DialogWidget::reject() {
    if (auto* dialog = dynamic_cast<CDialog*>(owner)) {
        dialog->OnCancel();
        return;
    }
    QDialog::reject();
}

void StaticWidget::Refresh() {
    if (!pathEllipsis) {
        if (text() != full_) setText(full_);
        return;
    }
    const QString shown = gdi::ElidePath(full_, fontMetrics(), contentsRect().width());
    if (text() != shown) setText(shown);
}

void StaticWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (Mouse(WM_LBUTTONUP, e)) return;  // a subclass handled it: no default click
    QLabel::mouseReleaseEvent(e);
    if (notify && owner && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        owner->NotifyCommand(STN_CLICKED);
}

namespace {

// <a> and <a href="..."> become numbered links; everything else is text.
QString MarkupToHtml(const QString& markup) {
    QString html;
    int index = 0;
    int pos = 0;
    while (pos < markup.size()) {
        const qsizetype open = markup.indexOf(QLatin1String("<a"), pos, Qt::CaseInsensitive);
        const qsizetype openEnd = open < 0 ? -1 : markup.indexOf(QLatin1Char('>'), open);
        const qsizetype close = openEnd < 0 ? -1 : markup.indexOf(QLatin1String("</a>"), openEnd, Qt::CaseInsensitive);
        if (open < 0 || openEnd < 0 || close < 0) {
            html += markup.mid(pos).toHtmlEscaped();
            break;
        }
        html += markup.mid(pos, open - pos).toHtmlEscaped();
        html += QStringLiteral("<a href=\"#%1\">").arg(index++);
        html += markup.mid(openEnd + 1, close - openEnd - 1).toHtmlEscaped();
        html += QStringLiteral("</a>");
        pos = static_cast<int>(close + 4);
    }
    return html;
}

}  // namespace

LinkWidget::LinkWidget(QWidget* parent) : Host<QLabel>(parent) {
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setOpenExternalLinks(false);
    QObject::connect(this, &QLabel::linkActivated, this,
                     [this](const QString& href) { ActivateLink(href.mid(1).toInt()); });
}

void LinkWidget::SetMarkup(const QString& markup) {
    markup_ = markup;
    setText(MarkupToHtml(markup));
}

void LinkWidget::ActivateLink(int index) {
    if (!owner) return;
    NMLINK link;
    link.hdr.code = NM_CLICK;
    link.iLink = index;
    owner->NotifyParent(&link.hdr);
}

SliderWidget::SliderWidget(QWidget* parent) : Host<QSlider>(Qt::Horizontal, parent) {
    QObject::connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd: pendingCode_ = TB_LINEDOWN; break;
            case QAbstractSlider::SliderSingleStepSub: pendingCode_ = TB_LINEUP; break;
            case QAbstractSlider::SliderPageStepAdd: pendingCode_ = TB_PAGEDOWN; break;
            case QAbstractSlider::SliderPageStepSub: pendingCode_ = TB_PAGEUP; break;
            case QAbstractSlider::SliderToMinimum: pendingCode_ = TB_TOP; break;
            case QAbstractSlider::SliderToMaximum: pendingCode_ = TB_BOTTOM; break;
            default: pendingCode_ = TB_THUMBPOSITION; break;
        }
    });
    QObject::connect(this, &QAbstractSlider::valueChanged, this, [this](int) {
        if (programmatic_ || !owner) return;
        if (isSliderDown()) {
            owner->RaiseHScroll(TB_THUMBTRACK);
            return;
        }
        const UINT code = pendingCode_;
        pendingCode_ = TB_THUMBPOSITION;
        owner->RaiseHScroll(code);
        if (owner) owner->RaiseHScroll(TB_ENDTRACK);
    });
    QObject::connect(this, &QAbstractSlider::sliderReleased, this, [this] {
        if (!owner) return;
        owner->RaiseHScroll(TB_THUMBPOSITION);
        if (owner) owner->RaiseHScroll(TB_ENDTRACK);
    });
}

TreeWidget::TreeWidget(QWidget* parent) : Host<QTreeWidget>(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
}

void TreeWidget::SelectionChanged() {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    QTreeWidgetItem* now = selected.isEmpty() ? nullptr : selected.front();
    if (now == last_) return;
    QTreeWidgetItem* old = last_;
    last_ = now;
    if (silent_ || !owner) return;
    NMTREEVIEW nm;
    nm.hdr.code = TVN_SELCHANGED;
    nm.action = action_;
    nm.itemOld.hItem = old;
    nm.itemOld.lParam = old ? static_cast<LPARAM>(old->data(0, Qt::UserRole).toULongLong()) : 0;
    nm.itemNew.hItem = now;
    nm.itemNew.lParam = now ? static_cast<LPARAM>(now->data(0, Qt::UserRole).toULongLong()) : 0;
    owner->NotifyParent(&nm.hdr);
}

void TreeWidget::Forget(QTreeWidgetItem* item) {
    for (QTreeWidgetItem* p = last_; p; p = p->parent()) {
        if (p == item) {
            last_ = nullptr;
            return;
        }
    }
}

void TreeWidget::mousePressEvent(QMouseEvent* e) {
    WithAction(TVC_BYMOUSE, false, [&] { Host<QTreeWidget>::mousePressEvent(e); });
}

void TreeWidget::keyPressEvent(QKeyEvent* e) {
    WithAction(TVC_BYKEYBOARD, false, [&] { QTreeWidget::keyPressEvent(e); });
}

QRect WrappingGroupBox::SingleLineCaption() const {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
}

QRect WrappingGroupBox::CaptionRect() const {
    const QRect single = SingleLineCaption();
    if (title().isEmpty() || single.right() <= rect().right()) return single;
    // As wide as the box less the caption's indent on both sides.
    const int left = std::max(0, single.left());
    const int width = std::max(1, this->width() - 2 * left);
    const QRect lines = fontMetrics().boundingRect(QRect(0, 0, width, 1 << 20),
                                                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title());
    return QRect(left, single.top(), lines.width(), lines.height());
}

void WrappingGroupBox::paintEvent(QPaintEvent* e) {
    const QRect caption = CaptionRect();
    if (caption == SingleLineCaption()) {
        QGroupBox::paintEvent(e);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    // The frame where the style puts it for one line of caption, lower by the
    // further lines, broken where the caption crosses it.
    QStyleOptionFrame frame;
    frame.QStyleOption::operator=(option);
    frame.features = option.features;
    frame.lineWidth = option.lineWidth;
    frame.midLineWidth = option.midLineWidth;
    frame.rect = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, this);
    frame.rect.setTop(std::min(frame.rect.top() + caption.height() - SingleLineCaption().height(), rect().bottom()));
    painter.save();
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(caption.adjusted(-2, 0, 2, 0))));
    painter.drawPrimitive(QStyle::PE_FrameGroupBox, frame);
    painter.restore();
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title());
}

ListWidget::ListWidget(QWidget* parent) : Host<QListWidget>(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void ListWidget::Click(int row) {
    if (row >= 0 && row < count()) {
        selectionMark = row;
        setCurrentRow(row);
    }
    if (!owner) return;
    NMITEMACTIVATE nm;
    nm.hdr.code = NM_CLICK;
    nm.iItem = row >= 0 && row < count() ? row : -1;
    owner->NotifyParent(&nm.hdr);
}

void ListWidget::mouseReleaseEvent(QMouseEvent* e) {
    Host<QListWidget>::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const QModelIndex index = indexAt(e->position().toPoint());
    Click(index.isValid() ? index.row() : -1);
}

}  // namespace uiw
