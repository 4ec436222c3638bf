#include "widgets/UWindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

void CentreOnScreen(QWidget* w) {
  const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = w->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  w->move(frame.topLeft());
}

void KeepOnScreen(QWidget* w) {
  const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // The frame's decoration: known once the window manager has framed the window, else none.
  const QRect frame = w->frameGeometry();
  const QSize decoration = frame.size() - w->geometry().size();
  const QSize most = area.size() - decoration;
  if (w->width() > most.width() || w->height() > most.height())
    w->resize(w->size().boundedTo(most).expandedTo(w->minimumSize()));
  QRect placed = w->frameGeometry();
  if (placed.right() > area.right()) placed.moveRight(area.right());
  if (placed.bottom() > area.bottom()) placed.moveBottom(area.bottom());
  if (placed.left() < area.left()) placed.moveLeft(area.left());
  if (placed.top() < area.top()) placed.moveTop(area.top());
  if (placed.topLeft() != w->frameGeometry().topLeft()) w->move(placed.topLeft());
}

void SizeToScreen(QWidget* w, const QSize& wanted) {
  const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!screen) {
    w->resize(wanted);
    return;
  }
  QSize decoration = w->frameGeometry().size() - w->geometry().size();
  if (decoration.isNull()) {
    const int border = w->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, w);
    decoration = QSize(2 * border,
                       w->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, w) + 2 * border);
  }
  const QSize most = screen->availableGeometry().size() - decoration;
  w->resize(wanted.boundedTo(most).expandedTo(w->minimumSize()));
}
