#include "widgets/UWindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
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
