// TfmDruk: the log printed, written to a text file or copied into a log file.
// The whole current log goes out, as far as it passes the display filter, in
// the display format in force; a printout goes to a printer or, when the
// operator chooses one, to a PDF file.
#pragma once

#include <QDialog>
#include <QPrinter>
#include <memory>
#include <string>

#include "app/output_run.h"
#include "ui/file_commands.h"

class QButtonGroup;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace kivo {

class Instance;

class TfmDruk : public QDialog {
  Q_OBJECT

 public:
  TfmDruk(Instance& instance, QWidget* parent = nullptr);
  ~TfmDruk() override;

  // The file dialog of btnFile; tests answer it themselves.
  FileChooser chooseFile;
  // True when the last output ran to its end.
  bool OutputDone() const { return done_; }
  bool Running() const { return running_; }
  // Sets the progress bar and tells whether the operator cancelled.
  bool Progress(int percent);

 public slots:
  // Checks the name, runs the output and closes when it has finished or
  // was cancelled; a refused name or a failed output keeps the dialog open.
  void btnOKClick();
  // Closes the idle dialog; cancels a running output.
  void btnAbbrClick();
  // The target decides which controls apply and which files are listed.
  void rgrAusgClick();
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Instance& instance_;
  QPrinter printer_;
  QButtonGroup* rgrAusg_ = nullptr;
  QComboBox* pcbDruk_ = nullptr;
  QPushButton* btnDruk_ = nullptr;
  QComboBox* fcbFile_ = nullptr;
  QPushButton* btnFile_ = nullptr;
  QProgressBar* prbrDruk_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnAbbr_ = nullptr;
  QPushButton* btnHelp_ = nullptr;
  QHBoxLayout* buttons_ = nullptr;
  QStatusBar* stbrDruk_ = nullptr;
  QString idleHint_;
  bool running_ = false;
  bool cancel_ = false;
  bool done_ = false;

  OutputTarget Target() const;
  bool PdfChosen() const;
  QString Mask() const;
  // Lists the files of the mask in the output directory, keeping the name
  // typed; selects `index` when it names one.
  void FillFileList(int index);
  // The output name as the rules have it: in the output directory when it
  // has no directory part, and with the extension the target wants.
  std::string OutputName() const;
  void btnFileClick();
  void btnDrukClick();
  void ShowRunning(bool running);
  // The display filter and settings in force, and the progress bar.
  OutputOptions Options(OutputTarget target);
  // Runs the output to `name` and tells the operator what failed.
  OutputResult RunOutput(const std::string& name);
  OutputResult PrintTo(const std::string& pdfName);
  OutputResult WriteTextFile(const std::string& name);
  void StoreChoices();
};

// Runs the dialog over the main window; true when an output ran to its end.
bool RunOutputDialog(QWidget* mainWindow, Instance& instance);

}  // namespace kivo
