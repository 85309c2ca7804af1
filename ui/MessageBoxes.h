#pragma once

#include <QString>

#include <functional>

class QWidget;

// How an editor tells the user something or asks a yes-or-no question. Editors hold these
// as members so that tests can answer in the user's place.
using Informer = std::function<void(const QString& title, const QString& text)>;
using Questioner = std::function<bool(const QString& title, const QString& question)>;

namespace messageBoxes {
// An information box over `parent`.
Informer informer(QWidget* parent);
// A warning box over `parent`.
Informer warner(QWidget* parent);
// A Yes/No question box over `parent`; true for Yes.
Questioner questioner(QWidget* parent);
} // namespace messageBoxes
