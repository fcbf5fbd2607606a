// What the send editors, the simulation dialog and the port dialog share: the
// text conversions, the error colours of an invalid field, the placement
// beside the main window, the combo boxes filled from the text table, the
// help page of a context, and which send editor is open.
#pragma once

#include <QDate>
#include <QString>
#include <string>

#include "asdu/text_format.h"  // kMillisecondsPerDay

class QComboBox;
class QPushButton;
class QStatusBar;
class QWidget;

namespace kivo {

class Instance;
class TextTable;

inline QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
inline std::string S(const QString& s) {
  return s.toStdString();
}

// A push button and the hint bar of a dialog, named as the tests and the
// focus order find them.
QPushButton* NamedButton(QWidget* parent, const char* name);
QStatusBar* HintBar(QWidget* parent, const char* name);

// Date-time values count days from 1899-12-30 (day number 0); the time of
// day is the fraction.
inline const QDate kDayZero{1899, 12, 30};
inline constexpr double kLastDayNumber = 2958465;  // 9999-12-31
// The date of a day number; day zero for one that is no date.
QDate DateOfDayNumber(double day);

// Marks a field invalid with the error colours, or gives it its normal ones.
void ShowValidity(QWidget* control, bool valid);

// The left edge at the right edge of the main window (in screen
// coordinates), but no further right than the screen allows; the top 48
// pixels below the main window's top; kept on the screen.
void PlaceBesideMain(QWidget* window, const QWidget* mainWindow);

// Centred over the main window horizontally, 48 pixels below its top, kept
// on the screen.
void PlaceCentredOverMain(QWidget* window, const QWidget* mainWindow);

// A combo box from the text table: text `first` is its label (returned),
// text first + 1 the number of items, the texts after it the items.
QString FillComboFromTexts(QComboBox* box, const TextTable& texts, int first);

// Shows the help page of a context in the help window (one page per context
// beside the contents, else the contents); false when there is no help.
bool OpenHelpPage(const Instance& instance, int context);
// Whether a help page can be opened at all (the help buttons' state).
bool HelpAvailable(const Instance& instance);
// Every window and dialog names its help context in this property (an int);
// F1 anywhere in it opens that page.
inline constexpr const char* kHelpContextProperty = "kivoHelpContext";

// The send editors (telegram and list) share one window: while one is open
// another cannot be. They mark themselves with this property on the main
// window's child they are, and clear it when they close.
inline constexpr const char* kSendEditorProperty = "kivoSendEditor";
enum class EditorState { None = 0, Telegram = 1, List = 2 };
// The open send editor among the main window's children, or null.
QWidget* OpenSendEditor(const QWidget* mainWindow);
EditorState CurrentEditorState(const QWidget* mainWindow);

}  // namespace kivo
