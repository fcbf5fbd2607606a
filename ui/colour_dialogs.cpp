#include "ui/colour_dialogs.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "app/instance.h"
#include "asdu/colours.h"
#include "asdu/type_items.h"
#include "text/text_numbers.h"
#include "ui/editor_support.h"
#include "ui/log_canvas.h"

namespace kivo {

namespace {

constexpr int kTextFontCaption = 1400;
constexpr int kTextSizes = 1402;
constexpr int kTextSpacing = 1406;      // its hint follows
constexpr int kTextClassNames = 1407;   // + tag 1..6
constexpr int kTextColourNames = 1415;  // + colour index
constexpr int kTextCausesCaption = 1457;
constexpr int kTextTypesCaption = 1458;
constexpr int kTextCauseLabel = 1459;
constexpr int kTextTypeLabel = 1460;
constexpr int kTextTextColour = 1461;
constexpr int kTextBackground = 1462;
constexpr int kTextFontSize = 1507;
constexpr int kTextOk = 676;
constexpr int kTextCancel = 677;
constexpr int kTextHelp = 678;
constexpr int kLastNamedType = 127;

// The classes of TfmFarb in the order of the pairs of the block.
constexpr std::array<const char*, 6> kClassNames{"E1", "S1", "E2", "S2", "Ueb", "Err"};
// Each size of text 1402 stands in a field of this many characters.
constexpr int kSizeFieldWidth = 6;
// Values whose row is drawn in the default pair where a byte is 0 or above
// this.
constexpr int kLastPairIndex = 254;
constexpr std::uint8_t kDefaultText = 1;
constexpr std::uint8_t kDefaultBackground = 15;
constexpr int kValueCount = 256;

// Names are written in white on the dark entries of the table, in black on
// the others.
bool DarkColour(int index) {
  return index == 1 || index == 16 || index == 18 || index == 19;
}

QColor TableColour(int index, const QPalette& palette, std::uint32_t fallback) {
  return FromBgr(ColourOf(index, PaletteColours(palette), fallback));
}

// An item drawn on its own colour: the background fills the item, the name
// stands on it; a selected item gets a frame in the highlight colour.
void PaintSwatch(QPainter& painter, const QRect& rect, const QColor& background, const QColor& text,
                 const QString& name, bool selected, const QPalette& palette) {
  painter.save();
  painter.fillRect(rect, background);
  painter.setPen(text);
  painter.drawText(rect.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, name);
  if (selected) {
    painter.setPen(QPen(palette.color(QPalette::Highlight), 2));
    painter.drawRect(rect.adjusted(1, 1, -1, -1));
  }
  painter.restore();
}

QColor RoleColour(const QModelIndex& index, int role) {
  return index.data(role).value<QBrush>().color();
}

class SwatchDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->setFont(option.font);
    PaintSwatch(*painter, option.rect, RoleColour(index, Qt::BackgroundRole),
                RoleColour(index, Qt::ForegroundRole), index.data().toString(),
                (option.state & QStyle::State_Selected) != 0, option.palette);
  }
  // Room above and below the name, so that accents and the selection frame
  // stay clear of it.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 4);
  }
};

// A list of colours that shows the chosen colour in its closed field too.
class ColourCombo : public QComboBox {
 public:
  explicit ColourCombo(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new SwatchDelegate(this));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0) return;
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const QModelIndex index = model()->index(currentIndex(), 0);
    PaintSwatch(painter, field, RoleColour(index, Qt::BackgroundRole),
                RoleColour(index, Qt::ForegroundRole), currentText(), false, palette());
  }
};

void AddColourItem(QComboBox* box, int colour, const QString& name) {
  box->addItem(name);
  const int at = box->count() - 1;
  box->setItemData(at, QBrush(TableColour(colour, box->palette(), 0)), Qt::BackgroundRole);
  box->setItemData(at, QBrush(DarkColour(colour) ? Qt::white : Qt::black), Qt::ForegroundRole);
}

QListWidget* SwatchList(QWidget* parent, const char* name) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setItemDelegate(new SwatchDelegate(list));
  return list;
}

QPushButton* DialogButton(QWidget* parent, const char* name, const QString& text) {
  QPushButton* button = NamedButton(parent, name);
  button->setText(text);
  button->setAutoDefault(false);
  return button;
}

// Enter moves on to the next control of the order, as in every dialog.
bool MovesOn(QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

// ---- TfmFarb ----

TfmFarb::TfmFarb(Instance& instance, QWidget* parent)
    : QDialog(parent), instance_(instance), work_(instance.settings.telFont) {
  setObjectName("fmFarb");
  setProperty(kHelpContextProperty, kHelpContext);
  const TextTable& t = instance.texts;
  auto text = [&t](int n) { return Q(t.Text(n)); };
  setWindowTitle(text(kTextFontCaption));

  cbSize_ = new QComboBox(this);
  cbSize_->setObjectName("cbSize");
  const QString sizes = text(kTextSizes);
  for (const QString& size : sizes.split(',')) cbSize_->addItem(size.trimmed());
  cbSize_->setCurrentIndex(std::min(SizeItemOf(sizes, work_.fontSize), cbSize_->count() - 1));
  sfLeerZl_ = new QLineEdit(QString::number(work_.spacing), this);
  sfLeerZl_->setObjectName("sfLeerZl");
  sfLeerZl_->setMaxLength(4);
  sfLeerZl_->setMaximumWidth(sfLeerZl_->fontMetrics().horizontalAdvance("00000") + 16);
  ShowValidity(sfLeerZl_, SpacingValue(nullptr));
  connect(sfLeerZl_, &QLineEdit::textChanged, this,
          [this] { ShowValidity(sfLeerZl_, SpacingValue(nullptr)); });
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(text(kTextFontSize), this));
  top->addWidget(cbSize_);
  top->addSpacing(24);
  top->addWidget(new QLabel(text(kTextSpacing), this));
  top->addWidget(sfLeerZl_);
  top->addStretch(1);
  focusOrder_ = {cbSize_, sfLeerZl_};
  hints_ = {text(kTextFontSize), text(kTextSpacing + 1)};

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(text(kTextTextColour), this), 0, 1);
  grid->addWidget(new QLabel(text(kTextBackground), this), 0, 2);
  for (int slot = 0; slot < 6; ++slot) {
    const auto s = static_cast<std::size_t>(slot);
    const QString className = text(kTextClassNames + slot + 1);
    const QByteArray suffix(kClassNames[s]);
    QListWidget* preview = SwatchList(this, ("lb" + suffix).constData());
    preview->addItem(className);
    preview->setFocusPolicy(Qt::NoFocus);
    preview->setSelectionMode(QAbstractItemView::NoSelection);
    preview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    preview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    preview->setFixedHeight(preview->sizeHintForRow(0) + 2 * preview->frameWidth() + 4);
    preview->setMinimumWidth(preview->fontMetrics().horizontalAdvance(className) + 40);
    previews_[s] = preview;
    grid->addWidget(preview, slot + 1, 0);
    // Text lists carry the tags 1..6, background lists 257..262: the tag
    // says which byte of which pair a list sets.
    for (const bool background : {false, true}) {
      auto* box = new ColourCombo(this);
      box->setObjectName(QString::fromLatin1((background ? "cbHg" : "cbFg") + suffix));
      box->setProperty("tag", slot + 1 + (background ? 256 : 0));
      for (int colour = 1; colour < kColourCount; ++colour) {
        AddColourItem(box, colour, text(kTextColourNames + colour));
      }
      const std::uint16_t pair = work_.pairs[s];
      box->setCurrentIndex((background ? BackgroundIndex(pair) : TextIndex(pair)) - 1);
      box->setMinimumWidth(box->fontMetrics().horizontalAdvance(text(kTextColourNames + 18)) + 60);
      connect(box, &QComboBox::currentIndexChanged, this, [this, slot, background](int item) {
        if (item < 0) return;
        std::uint16_t& pair = work_.pairs[static_cast<std::size_t>(slot)];
        const auto index = static_cast<std::uint8_t>(item + 1);
        pair = background ? ColourPair(TextIndex(pair), index)
                          : ColourPair(index, BackgroundIndex(pair));
        ShowPreview(slot);
      });
      (background ? backgroundLists_ : textLists_)[s] = box;
      grid->addWidget(box, slot + 1, background ? 2 : 1);
      focusOrder_.push_back(box);
      hints_.push_back(className + ": " + text(background ? kTextBackground : kTextTextColour));
    }
    ShowPreview(slot);
  }

  QPushButton* ok = DialogButton(this, "btnOK", text(kTextOk));
  QPushButton* cancel = DialogButton(this, "btnAbbr", text(kTextCancel));
  QPushButton* help = DialogButton(this, "btnHelp", text(kTextHelp));
  help->setEnabled(HelpAvailable(instance));
  connect(ok, &QPushButton::clicked, this, &TfmFarb::btnOKClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] { OpenHelpPage(instance_, kHelpContext); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (QPushButton* button : {ok, cancel, help}) buttons->addWidget(button);
  stbrFarb_ = HintBar(this, "stbrFarb");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->addWidget(stbrFarb_);

  for (QWidget* control : focusOrder_) control->installEventFilter(this);
  const std::size_t focus = std::min<std::size_t>(work_.lastControl, focusOrder_.size() - 1);
  focusOrder_[focus]->setFocus();
  stbrFarb_->showMessage(hints_[focus]);
}

int TfmFarb::SizeItemOf(const QString& sizes, int fontSize) {
  const auto at = sizes.indexOf(QString::number(fontSize));
  return static_cast<int>((at + 1) / kSizeFieldWidth);
}

bool TfmFarb::SpacingValue(int* value) const {
  bool ok = false;
  const int number = sfLeerZl_->text().trimmed().toInt(&ok);
  if (!ok || number < kLeastSpacing || number > kMostSpacing) return false;
  if (value) *value = number;
  return true;
}

void TfmFarb::ShowPreview(int slot) {
  const std::uint16_t pair = work_.pairs[static_cast<std::size_t>(slot)];
  QListWidgetItem* item = previews_[static_cast<std::size_t>(slot)]->item(0);
  const QPalette& p = palette();
  item->setForeground(TableColour(TextIndex(pair), p, PaletteColours(p).windowText));
  item->setBackground(TableColour(BackgroundIndex(pair), p, PaletteColours(p).windowBackground));
}

bool TfmFarb::eventFilter(QObject* watched, QEvent* event) {
  const auto at = std::find(focusOrder_.begin(), focusOrder_.end(), watched);
  if (at != focusOrder_.end()) {
    const std::size_t index = static_cast<std::size_t>(at - focusOrder_.begin());
    if (event->type() == QEvent::FocusIn) {
      work_.lastControl = static_cast<std::uint32_t>(index);
      stbrFarb_->showMessage(hints_[index]);
    } else if (MovesOn(event)) {
      focusOrder_[(index + 1) % focusOrder_.size()]->setFocus();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmFarb::btnOKClick() {
  int spacing = 0;
  if (!SpacingValue(&spacing)) {
    ShowValidity(sfLeerZl_, false);
    sfLeerZl_->setFocus();
    return;
  }
  bool ok = false;
  const int size = cbSize_->currentText().trimmed().toInt(&ok);
  if (ok && size > 0) work_.fontSize = size;
  work_.spacing = spacing;
  accept();
}

// ---- TfmFrbSel ----

TfmFrbSel::TfmFrbSel(Instance& instance, bool causes, QWidget* parent)
    : QDialog(parent),
      instance_(instance),
      causes_(causes),
      work_(causes ? instance.settings.causeColours : instance.settings.typeColours) {
  setObjectName("fmFrbSel");
  setProperty(kHelpContextProperty, causes ? kHelpCauses : kHelpTypes);
  const TextTable& t = instance.texts;
  auto text = [&t](int n) { return Q(t.Text(n)); };
  setWindowTitle(text(causes ? kTextCausesCaption : kTextTypesCaption));
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

  lbTyp_ = SwatchList(this, "lbTyp");
  lbTyp_->setFont(fixed);
  for (int value = 0; value < kValueCount; ++value) {
    lbTyp_->addItem(QString());
    PaintRow(value);
  }
  lbTyp_->setMinimumHeight(lbTyp_->sizeHintForRow(0) * 20);
  lbTyp_->setMinimumWidth(lbTyp_->sizeHintForColumn(0) + 40);
  cbFg_ = new ColourCombo(this);
  cbFg_->setObjectName("cbFg");
  cbHg_ = new ColourCombo(this);
  cbHg_->setObjectName("cbHg");
  for (QComboBox* box : {cbFg_, cbHg_}) {
    box->setFont(fixed);
    for (int colour = 0; colour < kColourCount; ++colour) {
      AddColourItem(box, colour,
                    QString("%1 %2").arg(colour, 3).arg(text(kTextColourNames + colour)));
    }
    connect(box, &QComboBox::currentIndexChanged, this, &TfmFrbSel::TakeLists);
  }
  connect(lbTyp_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0) return;
    work_.selectedValue = static_cast<std::uint32_t>(row);
    ShowRow(row);
  });

  const QString listLabel = text(causes ? kTextCauseLabel : kTextTypeLabel);
  auto* lists = new QGridLayout;
  lists->addWidget(new QLabel(listLabel, this), 0, 0);
  lists->addWidget(lbTyp_, 1, 0, 5, 1);
  lists->addWidget(new QLabel(text(kTextTextColour), this), 1, 1);
  lists->addWidget(cbFg_, 2, 1);
  lists->addWidget(new QLabel(text(kTextBackground), this), 3, 1);
  lists->addWidget(cbHg_, 4, 1);
  lists->setRowStretch(5, 1);
  focusOrder_ = {lbTyp_, cbFg_, cbHg_};
  hints_ = {listLabel, text(kTextTextColour), text(kTextBackground)};

  QPushButton* ok = DialogButton(this, "btnOK", text(kTextOk));
  QPushButton* cancel = DialogButton(this, "btnAbbr", text(kTextCancel));
  QPushButton* help = DialogButton(this, "btnHelp", text(kTextHelp));
  help->setEnabled(HelpAvailable(instance));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this,
          [this] { OpenHelpPage(instance_, causes_ ? kHelpCauses : kHelpTypes); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (QPushButton* button : {ok, cancel, help}) buttons->addWidget(button);
  stbrFrbSel_ = HintBar(this, "stbrFrbSel");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists);
  layout->addLayout(buttons);
  layout->addWidget(stbrFrbSel_);

  const int selected = static_cast<int>(std::min<std::uint32_t>(work_.selectedValue, 255));
  const std::uint32_t lastControl = work_.lastControl;
  lbTyp_->setCurrentRow(selected);
  lbTyp_->scrollToItem(lbTyp_->item(selected), QAbstractItemView::PositionAtCenter);
  ShowRow(selected);
  for (QWidget* control : focusOrder_) control->installEventFilter(this);
  const std::size_t focus = std::min<std::size_t>(lastControl, focusOrder_.size() - 1);
  focusOrder_[focus]->setFocus();
  work_.lastControl = static_cast<std::uint32_t>(focus);
  stbrFrbSel_->showMessage(hints_[focus]);
}

QString TfmFrbSel::RowText(int value) const {
  const TextTable& t = instance_.texts;
  std::string name;
  if (causes_) {
    name = CauseName(t, 0, value);
  } else if (value > kLastNamedType) {
    name = t.Text(text::kPrivateType);
  } else if (value > 0) {  // text 70 itself is the word "type", no name
    name = t.Text(text::kTypeNames + value);
  }
  return QString("%1    %2").arg(value, 4).arg(Q(name));
}

void TfmFrbSel::PaintRow(int value) {
  const std::uint16_t pair = work_.pairs[static_cast<std::size_t>(value)];
  auto shown = [](std::uint8_t index, std::uint8_t fallback) {
    return index == 0 || index > kLastPairIndex ? fallback : index;
  };
  const QPalette& p = palette();
  const SystemColours system = PaletteColours(p);
  QListWidgetItem* item = lbTyp_->item(value);
  item->setText(RowText(value));
  item->setForeground(TableColour(shown(TextIndex(pair), kDefaultText), p, system.windowText));
  item->setBackground(
      TableColour(shown(BackgroundIndex(pair), kDefaultBackground), p, system.windowBackground));
}

void TfmFrbSel::ShowRow(int value) {
  const std::uint16_t pair = work_.pairs[static_cast<std::size_t>(value)];
  auto item = [](std::uint8_t index) { return index < kColourCount ? int{index} : -1; };
  showingRow_ = true;
  cbFg_->setCurrentIndex(item(TextIndex(pair)));
  cbHg_->setCurrentIndex(item(BackgroundIndex(pair)));
  showingRow_ = false;
}

void TfmFrbSel::TakeLists() {
  const int row = lbTyp_->currentRow();
  if (showingRow_ || row < 0) return;
  const auto index = [](const QComboBox* box) {
    return static_cast<std::uint8_t>(std::max(0, box->currentIndex()));
  };
  work_.pairs[static_cast<std::size_t>(row)] = ColourPair(index(cbFg_), index(cbHg_));
  PaintRow(row);
}

bool TfmFrbSel::eventFilter(QObject* watched, QEvent* event) {
  const auto at = std::find(focusOrder_.begin(), focusOrder_.end(), watched);
  if (at != focusOrder_.end()) {
    const std::size_t index = static_cast<std::size_t>(at - focusOrder_.begin());
    if (event->type() == QEvent::FocusIn) {
      work_.lastControl = static_cast<std::uint32_t>(index);
      stbrFrbSel_->showMessage(hints_[index]);
    } else if (MovesOn(event)) {
      focusOrder_[(index + 1) % focusOrder_.size()]->setFocus();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// ---- entry points ----

bool EditTelegramFont(QWidget* mainWindow, Instance& instance) {
  TfmFarb dialog(instance, mainWindow);
  PlaceBesideMain(&dialog, mainWindow);
  if (dialog.exec() != QDialog::Accepted) return false;
  instance.settings.telFont = dialog.Font();
  return true;
}

bool EditValueColours(QWidget* mainWindow, Instance& instance, bool causes) {
  TfmFrbSel dialog(instance, causes, mainWindow);
  PlaceBesideMain(&dialog, mainWindow);
  if (dialog.exec() != QDialog::Accepted) return false;
  (causes ? instance.settings.causeColours : instance.settings.typeColours) = dialog.Table();
  return true;
}

}  // namespace kivo
