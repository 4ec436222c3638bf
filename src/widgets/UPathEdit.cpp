#include "widgets/UPathEdit.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace {
// QLineEdit's own space between its contents rectangle and the text.
constexpr int kTextMargin = 2;
}  // namespace

TPathEdit::TPathEdit(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { setToolTip(text); });
}

QSize TPathEdit::sizeHint() const {
  QSize hint = QLineEdit::sizeHint();
  hint.setWidth(std::max(hint.width(), fontMetrics().averageCharWidth() * 48));
  return hint;
}

QSize TPathEdit::minimumSizeHint() const {
  QSize hint = QLineEdit::minimumSizeHint();
  hint.setWidth(std::max(hint.width(), fontMetrics().averageCharWidth() * 40));
  return hint;
}

QRect TPathEdit::TextRect() const {
  QStyleOptionFrame option;
  initStyleOption(&option);
  return style()
      ->subElementRect(QStyle::SE_LineEditContents, &option, this)
      .marginsRemoved(textMargins())
      .adjusted(kTextMargin, 0, -kTextMargin, 0);
}

QString TPathEdit::ShownText() const {
  if (hasFocus()) return text();
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, TextRect().width());
}

void TPathEdit::paintEvent(QPaintEvent* event) {
  const QString shown = ShownText();
  if (shown == text()) {
    QLineEdit::paintEvent(event);
    return;
  }
  QPainter painter(this);
  QStyleOptionFrame option;
  initStyleOption(&option);
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
  painter.drawText(TextRect(), Qt::AlignVCenter | Qt::AlignLeft, shown);
}
