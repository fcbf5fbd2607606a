#include "ui/output_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/instance.h"
#include "app/messages.h"
#include "log/log_store.h"
#include "text/text_numbers.h"
#include "ui/editor_support.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr int kTextCaption = 1312;
constexpr int kTextTarget = 1313;
constexpr int kTextTargetItems = 1314;
constexpr int kTextPrinter = 1316;
constexpr int kTextFile = 1317;
constexpr int kTextFirstHint = 1319;
constexpr int kHintLines = 3;
constexpr int kTextRunning = 1190;
constexpr int kTextPdfFile = 1513;
constexpr int kTextPrinterFailed = 1514;
constexpr int kTextNotWritten = 1515;
constexpr int kTextOk = 676;
constexpr int kTextCancel = 677;
constexpr int kTextHelp = 678;
constexpr int kHelpContext = 1100;
constexpr int kTargetCount = 3;
constexpr int kBelowMainTop = 48;
constexpr int kPrintPointSize = 10;
constexpr std::string_view kTextSuffix = ".txt";
constexpr std::string_view kPdfSuffix = ".pdf";

// Lays the lines out on printer pages: half an inch from the top and the
// bottom of the printable area, a third of an inch from its left edge.
class PrinterSink : public LineSink {
 public:
  explicit PrinterSink(QPrinter& printer) : printer_(printer) {}

  bool Begin(const QFont& font) {
    if (!painter_.begin(&printer_)) return false;
    painter_.setFont(font);
    const QFontMetrics metrics = painter_.fontMetrics();
    lineHeight_ = std::max(1, metrics.height());
    ascent_ = metrics.ascent();
    top_ = printer_.logicalDpiY() / 2;
    bottom_ = printer_.height() - printer_.logicalDpiY() / 2;
    left_ = printer_.logicalDpiX() / 3;
    y_ = top_;
    return true;
  }
  bool Line(std::string_view line) override {
    if (aborted_) return true;
    if (!line.empty()) {
      painter_.drawText(left_, y_ + ascent_,
                        QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    }
    y_ += lineHeight_;
    return Healthy();
  }
  bool PageFull() const override { return y_ > bottom_; }
  void NewPage() override {
    if (!aborted_ && !printer_.newPage()) failed_ = true;
    y_ = top_;
  }
  void Abort() override {
    aborted_ = true;
    printer_.abort();
  }
  // Ends the job; false when the printer failed on the way or at its end.
  bool End() {
    const bool ended = !painter_.isActive() || painter_.end();
    return ended && !failed_ && printer_.printerState() != QPrinter::Error;
  }

 private:
  QPrinter& printer_;
  QPainter painter_;
  int lineHeight_ = 1;
  int ascent_ = 0;
  int top_ = 0;
  int bottom_ = 0;
  int left_ = 0;
  int y_ = 0;
  bool aborted_ = false;
  bool failed_ = false;

  bool Healthy() const {
    return !failed_ && painter_.isActive() && printer_.printerState() != QPrinter::Error;
  }
};

std::string WithoutExtension(const std::string& name) {
  return name.substr(0, name.size() - ExtensionOf(name).size());
}

bool SameExtension(const std::string& name, std::string_view extension) {
  const std::string own = ExtensionOf(name);
  return QString::fromStdString(own).compare(
             QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size())),
             Qt::CaseInsensitive) == 0;
}

// Centred over the main window, 48 pixels below its top, kept on the screen.
void PlaceOverMain(QWidget* dialog, const QWidget* mainWindow) {
  dialog->adjustSize();
  if (!mainWindow) return;
  const QRect frame = mainWindow->frameGeometry();
  QPoint at(frame.center().x() - dialog->width() / 2, frame.top() + kBelowMainTop);
  if (const QScreen* screen = mainWindow->screen()) {
    const QRect room = screen->availableGeometry();
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - dialog->width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - dialog->height())));
  }
  dialog->move(at);
}

}  // namespace

TfmDruk::TfmDruk(Instance& instance, QWidget* parent)
    : QDialog(parent), instance_(instance), printer_(QPrinter::HighResolution) {
  setObjectName("fmDruk");
  setProperty(kHelpContextProperty, kHelpContext);
  const TextTable& t = instance.texts;
  setWindowTitle(Q(t.Text(kTextCaption)));

  auto* targets = new QGroupBox(Q(t.Text(kTextTarget)), this);
  targets->setObjectName("rgrAusg");
  rgrAusg_ = new QButtonGroup(this);
  auto* targetRow = new QHBoxLayout(targets);
  const QStringList items = Q(t.Text(kTextTargetItems)).split(',');
  for (int i = 0; i < kTargetCount; ++i) {
    auto* button = new QRadioButton(i < items.size() ? items[i].trimmed() : QString(), targets);
    button->setObjectName(QStringLiteral("rgrAusg%1").arg(i));
    rgrAusg_->addButton(button, i);
    targetRow->addWidget(button);
  }
  targetRow->addStretch(1);

  pcbDruk_ = new QComboBox(this);
  pcbDruk_->setObjectName("pcbDruk");
  pcbDruk_->addItems(QPrinterInfo::availablePrinterNames());
  pcbDruk_->addItem(Q(t.Text(kTextPdfFile)));
  btnDruk_ = new QPushButton(QStringLiteral("..."), this);
  btnDruk_->setObjectName("btnDruk");
  fcbFile_ = new QComboBox(this);
  fcbFile_->setObjectName("fcbFile");
  fcbFile_->setEditable(true);
  fcbFile_->setInsertPolicy(QComboBox::NoInsert);
  fcbFile_->setMinimumWidth(360);
  btnFile_ = new QPushButton(QStringLiteral("..."), this);
  btnFile_->setObjectName("btnFile");
  for (QPushButton* button : {btnDruk_, btnFile_}) {
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) * 3);
  }
  auto* form = new QFormLayout;
  auto* printerRow = new QHBoxLayout;
  printerRow->addWidget(pcbDruk_, 1);
  printerRow->addWidget(btnDruk_);
  form->addRow(Q(t.Text(kTextPrinter)), printerRow);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(fcbFile_, 1);
  fileRow->addWidget(btnFile_);
  form->addRow(Q(t.Text(kTextFile)), fileRow);

  QStringList hintLines;
  for (int i = 0; i < kHintLines; ++i) hintLines << Q(t.Text(kTextFirstHint + i));
  auto* hint = new QLabel(hintLines.join('\n'), this);
  hint->setObjectName("lblHinw");

  prbrDruk_ = new QProgressBar(this);
  prbrDruk_->setObjectName("prbrDruk");
  prbrDruk_->setRange(0, 100);
  prbrDruk_->setValue(0);
  prbrDruk_->hide();

  btnOK_ = NamedButton(this, "btnOK");
  btnOK_->setText(Q(t.Text(kTextOk)));
  btnAbbr_ = NamedButton(this, "btnAbbr");
  btnAbbr_->setText(Q(t.Text(kTextCancel)));
  btnHelp_ = NamedButton(this, "btnHelp");
  btnHelp_->setText(Q(t.Text(kTextHelp)));
  btnHelp_->setEnabled(HelpAvailable(instance));
  btnOK_->setDefault(true);
  // Cancel takes OK's place while the output runs; the hidden buttons keep
  // theirs.
  for (QPushButton* button : {btnOK_, btnHelp_}) {
    QSizePolicy policy = button->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    button->setSizePolicy(policy);
  }
  buttons_ = new QHBoxLayout;
  buttons_->addStretch(1);
  for (QPushButton* button : {btnOK_, btnAbbr_, btnHelp_}) buttons_->addWidget(button);

  // The hint bar names the display settings the lines are written with.
  const RenderContext context = MakeRenderContext(instance, instance.logStore.Index().firstSeqNo);
  idleHint_ = Q(DisplayHeaderText(context, instance.settings.onlineDisplay != 0,
                                  instance.general.displayFilter.enabled != 0));
  stbrDruk_ = HintBar(this, "stbrDruk");
  stbrDruk_->showMessage(idleHint_);
  setMinimumWidth(stbrDruk_->fontMetrics().horizontalAdvance(idleHint_) + 48);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(targets);
  layout->addLayout(form);
  layout->addWidget(hint);
  layout->addWidget(prbrDruk_);
  layout->addLayout(buttons_);
  layout->addWidget(stbrDruk_);

  chooseFile = ChooseWithDialog;
  connect(btnOK_, &QPushButton::clicked, this, &TfmDruk::btnOKClick);
  connect(btnAbbr_, &QPushButton::clicked, this, &TfmDruk::btnAbbrClick);
  connect(btnHelp_, &QPushButton::clicked, this, [this] { OpenHelpPage(instance_, kHelpContext); });
  connect(btnFile_, &QPushButton::clicked, this, &TfmDruk::btnFileClick);
  connect(btnDruk_, &QPushButton::clicked, this, &TfmDruk::btnDrukClick);
  connect(rgrAusg_, &QButtonGroup::idClicked, this, &TfmDruk::rgrAusgClick);
  connect(pcbDruk_, &QComboBox::currentIndexChanged, this, &TfmDruk::rgrAusgClick);
  connect(fcbFile_, &QComboBox::editTextChanged, this, [this] { ShowValidity(fcbFile_, true); });

  const Settings& s = instance.settings;
  rgrAusg_->button(std::clamp(s.outputTarget, 0, kTargetCount - 1))->setChecked(true);
  pcbDruk_->setCurrentIndex(std::clamp(s.printerIndex, 0, pcbDruk_->count() - 1));
  rgrAusgClick();
  FillFileList(s.fileIndex);
  if (fcbFile_->currentText().isEmpty()) {
    // Nothing there yet: the log's own name; the target gives it its extension.
    fcbFile_->setEditText(Q(WithoutExtension(FileNameOf(instance.logStore.FileName()))));
  }
  for (QWidget* control : std::initializer_list<QWidget*>{
           rgrAusg_->button(0), rgrAusg_->button(1), rgrAusg_->button(2), pcbDruk_, fcbFile_}) {
    control->installEventFilter(this);
  }
  rgrAusg_->checkedButton()->setFocus();
}

TfmDruk::~TfmDruk() = default;

OutputTarget TfmDruk::Target() const {
  return static_cast<OutputTarget>(std::clamp(rgrAusg_->checkedId(), 0, kTargetCount - 1));
}

bool TfmDruk::PdfChosen() const {
  return pcbDruk_->currentIndex() == pcbDruk_->count() - 1;
}

QString TfmDruk::Mask() const {
  switch (Target()) {
    case OutputTarget::LogFile:
      return QStringLiteral("*") + Q(instance_.texts.Text(filetext::kLogExtension));
    case OutputTarget::Printer:
      if (PdfChosen()) return QStringLiteral("*.pdf");
      break;
    case OutputTarget::TextFile:
      break;
  }
  return QStringLiteral("*.txt");
}

void TfmDruk::rgrAusgClick() {
  const bool printer = Target() == OutputTarget::Printer;
  const bool file = !printer || PdfChosen();
  pcbDruk_->setEnabled(printer);
  btnDruk_->setEnabled(printer);
  fcbFile_->setEnabled(file);
  btnFile_->setEnabled(file);
  if (fcbFile_->property("mask").toString() != Mask()) FillFileList(-1);
}

void TfmDruk::FillFileList(int index) {
  const QString typed = fcbFile_->currentText();
  const QString mask = Mask();
  fcbFile_->setProperty("mask", mask);
  const QDir directory(Q(WithTrailingSlash(instance_.dataDirectory)));
  const QSignalBlocker quiet(fcbFile_);
  fcbFile_->clear();
  fcbFile_->addItems(directory.entryList({mask}, QDir::Files, QDir::Name));
  if (index >= 0 && index < fcbFile_->count()) {
    fcbFile_->setCurrentIndex(index);
  } else {
    fcbFile_->setEditText(typed);
  }
}

std::string TfmDruk::OutputName() const {
  std::string name = S(fcbFile_->currentText().trimmed());
  if (FileNameOf(name).empty()) return {};
  if (name.find('/') == std::string::npos) {
    name = WithTrailingSlash(instance_.dataDirectory) + name;
  }
  switch (Target()) {
    case OutputTarget::LogFile:
      name = WithoutExtension(name) + instance_.texts.Text(filetext::kLogExtension);
      break;
    case OutputTarget::Printer:
      if (!SameExtension(name, kPdfSuffix)) name = WithoutExtension(name) + std::string(kPdfSuffix);
      break;
    case OutputTarget::TextFile:
      if (ExtensionOf(name).empty()) name += kTextSuffix;
      break;
  }
  return DirectoryExists(name) ? std::string() : name;
}

void TfmDruk::btnFileClick() {
  const TextTable& t = instance_.texts;
  const QStringList items = Q(t.Text(kTextTargetItems)).split(',');
  const int target = static_cast<int>(Target());
  QString description = target < items.size() ? items[target].trimmed() : QString();
  if (Target() == OutputTarget::Printer) description = Q(t.Text(kTextPdfFile));
  FileRequest request;
  request.caption = windowTitle();
  const std::string proposed = OutputName();
  request.path = proposed.empty() ? Q(instance_.dataDirectory) : Q(proposed);
  request.filter = QStringLiteral("%1 (%2)").arg(description, Mask());
  request.defaultSuffix = Mask().mid(2);
  request.save = true;
  const QString chosen = chooseFile(this, request);
  if (!chosen.isEmpty()) fcbFile_->setEditText(chosen);
}

void TfmDruk::btnDrukClick() {
  if (!PdfChosen()) printer_.setPrinterName(pcbDruk_->currentText());
  QPrintDialog dialog(&printer_, this);
  dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  if (dialog.exec() != QDialog::Accepted) return;
  // The setup may have turned the printer into a PDF file.
  if (printer_.outputFormat() == QPrinter::PdfFormat && !printer_.outputFileName().isEmpty()) {
    pcbDruk_->setCurrentIndex(pcbDruk_->count() - 1);
    fcbFile_->setEditText(printer_.outputFileName());
  } else if (const int at = pcbDruk_->findText(printer_.printerName()); at >= 0) {
    pcbDruk_->setCurrentIndex(at);
  }
}

bool TfmDruk::Progress(int percent) {
  if (prbrDruk_->value() != percent) prbrDruk_->setValue(percent);
  QApplication::processEvents();
  return cancel_;
}

void TfmDruk::ShowRunning(bool running) {
  running_ = running;
  buttons_->removeWidget(btnAbbr_);
  buttons_->insertWidget(buttons_->indexOf(running ? btnOK_ : btnHelp_), btnAbbr_);
  btnOK_->setVisible(!running);
  btnHelp_->setVisible(!running);
  prbrDruk_->setValue(0);
  prbrDruk_->setVisible(running);
  for (QWidget* control : std::initializer_list<QWidget*>{rgrAusg_->button(0), rgrAusg_->button(1),
                                                          rgrAusg_->button(2), pcbDruk_, btnDruk_,
                                                          fcbFile_, btnFile_}) {
    control->setProperty("enabledBeforeRun",
                         running ? control->isEnabled() : control->property("enabledBeforeRun"));
    control->setEnabled(running ? false : control->property("enabledBeforeRun").toBool());
  }
  stbrDruk_->showMessage(running ? Q(instance_.texts.Text(kTextRunning)) : idleHint_);
  if (running) btnAbbr_->setFocus();
}

OutputOptions TfmDruk::Options(OutputTarget target) {
  OutputOptions options;
  options.target = target;
  options.displayFilter = instance_.logStore.hooks.displayFilter;
  options.progress = [this](int percent) { return Progress(percent); };
  options.onlineDisplay = instance_.settings.onlineDisplay != 0;
  options.filterOn = instance_.general.displayFilter.enabled != 0;
  return options;
}

OutputResult TfmDruk::WriteTextFile(const std::string& name) {
  OutputResult result;
  StagedFile staged(name);
  std::FILE* file = staged.Create() ? std::fopen(staged.WritePath().c_str(), "wb") : nullptr;
  if (!file) {
    result.ioError = true;
    return result;
  }
  TextFileSink sink(file);
  LogStore& log = instance_.logStore;
  RenderContext context = MakeRenderContext(instance_, log.Index().firstSeqNo);
  result = RunTextOutput(log, context, Options(OutputTarget::TextFile), sink);
  // A file that is not complete never takes the name: the staged copy goes.
  const bool closed = std::fclose(file) == 0;
  if (result.ok && !(closed && staged.Commit())) {
    result.ok = false;
    result.ioError = true;
  }
  return result;
}

OutputResult TfmDruk::PrintTo(const std::string& pdfName) {
  OutputResult result;
  std::optional<StagedFile> staged;
  if (!pdfName.empty()) {
    staged.emplace(pdfName);
    if (!staged->Create()) {
      result.ioError = true;
      return result;
    }
    printer_.setOutputFormat(QPrinter::PdfFormat);
    printer_.setOutputFileName(Q(staged->WritePath()));
  } else {
    printer_.setOutputFileName(QString());
    printer_.setOutputFormat(QPrinter::NativeFormat);
    printer_.setPrinterName(pcbDruk_->currentText());
  }
  LogStore& log = instance_.logStore;
  printer_.setDocName(Q(FileNameOf(log.FileName())));
  printer_.setCreator(QApplication::applicationName());
  // The lines are laid out in columns, so they are printed in the fixed
  // font the log view uses.
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(kPrintPointSize);
  PrinterSink sink(printer_);
  if (!sink.Begin(font)) {
    result.ioError = true;
    return result;
  }
  RenderContext context = MakeRenderContext(instance_, log.Index().firstSeqNo);
  result = RunTextOutput(log, context, Options(OutputTarget::Printer), sink);
  const bool ended = sink.End();
  if (!result.cancelled && (!ended || (staged && !staged->Commit()))) {
    result.ok = false;
    result.ioError = true;
  }
  // The setup dialog shows the name chosen, not the staged one.
  if (staged) printer_.setOutputFileName(Q(pdfName));
  return result;
}

OutputResult TfmDruk::RunOutput(const std::string& name) {
  switch (Target()) {
    case OutputTarget::TextFile:
      return WriteTextFile(name);
    case OutputTarget::Printer:
      return PrintTo(PdfChosen() ? name : std::string());
    case OutputTarget::LogFile:
      return RunLogOutput(instance_, instance_.logStore, name, Options(OutputTarget::LogFile));
  }
  return {};
}

void TfmDruk::btnOKClick() {
  if (running_) return;
  const bool toFile = Target() != OutputTarget::Printer || PdfChosen();
  std::string name;
  if (toFile) {
    name = OutputName();
    if (name.empty()) {
      ShowValidity(fcbFile_, false);
      fcbFile_->setFocus();
      return;
    }
    if (IsOutputToLog(name, instance_.logStore)) {
      ShowValidity(fcbFile_, false);
      fcbFile_->setFocus();
      ShowMessage(instance_, text::kOutputIsCurrentLog);
      return;
    }
  }
  ShowValidity(fcbFile_, true);
  cancel_ = false;
  ShowRunning(true);
  const OutputResult result = RunOutput(name);
  ShowRunning(false);
  if (result.ok || (result.cancelled && !result.ioError)) {
    done_ = result.ok;
    if (toFile) {
      fcbFile_->setEditText(Q(name));
      FillFileList(-1);
      fcbFile_->setCurrentIndex(fcbFile_->findText(Q(FileNameOf(name))));
      if (fcbFile_->currentIndex() < 0) fcbFile_->setEditText(Q(name));
    }
    StoreChoices();
    accept();
    return;
  }
  if (toFile) {
    ShowMessage(instance_, kTextNotWritten, MessageType::Error, MessageButtons::Ok, name);
  } else {
    ShowMessage(instance_, kTextPrinterFailed, MessageType::Error);
  }
}

void TfmDruk::StoreChoices() {
  Settings& s = instance_.settings;
  s.outputTarget = static_cast<std::int32_t>(Target());
  s.printerIndex = std::max(0, pcbDruk_->currentIndex());
  s.fileIndex = std::max(0, fcbFile_->currentIndex());
}

void TfmDruk::btnAbbrClick() {
  if (running_) {
    cancel_ = true;
  } else {
    QDialog::reject();
  }
}

void TfmDruk::reject() {
  btnAbbrClick();
}

void TfmDruk::closeEvent(QCloseEvent* event) {
  if (running_) {
    cancel_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

bool TfmDruk::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && !running_) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Enter moves on to the next control; on the buttons it presses them.
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      focusNextChild();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool RunOutputDialog(QWidget* mainWindow, Instance& instance) {
  TfmDruk dialog(instance, mainWindow);
  PlaceOverMain(&dialog, mainWindow);
  dialog.exec();
  return dialog.OutputDone();
}

}  // namespace kivo
