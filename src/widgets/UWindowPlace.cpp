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
