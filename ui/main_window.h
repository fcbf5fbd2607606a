// TfmMain: the main window. Its menu is shown as a tool bar of buttons, one per
// top-level menu; the timer drives the whole program.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/instance.h"
#include "app/port_service.h"
#include "ui/file_commands.h"
#include "ui/log_canvas.h"

namespace kivo {

// The statistics table asks for the width of its columns; a narrow window
// shows what fits.
class StatisticsTable : public QTableWidget {
 public:
  using QTableWidget::QTableWidget;
  void SetHint(QSize hint) { hint_ = hint; }
  QSize sizeHint() const override { return hint_; }
  QSize minimumSizeHint() const override { return {0, hint_.height()}; }

 private:
  QSize hint_{400, 80};
};

class TfmMain : public QMainWindow, public AppEvents {
  Q_OBJECT

 public:
  static constexpr int kStatusPanels = 6;

  // `ports` serves the port descriptors; without it the timer only ticks.
  TfmMain(Instance& instance, const std::vector<std::string>& arguments,
          PortService* ports = nullptr, QWidget* parent = nullptr);
  ~TfmMain() override;

  // Shows the window and restores the stored placement.
  void ShowWithPlacement();

  // Labels every control from the text table.
  void LabelControls();

  // The send-telegram file chosen in the open or save dialog.
  bool LoadSendTelegramFile(const std::string& name);
  bool SaveSendTelegramFileAs(const std::string& name);

  // AppEvents
  void OnlineStateApplied() override;
  void SendCaptionChanged(int slot) override;
  void RefreshLogView() override;
  void ShowLogDisplay() override;
  void ShowOnlineDisplay() override;
  void PortStatusChanged(int portIndex) override;
  void ListPassEnded(int list) override;

  // Draws the log view again with a scroll code (0 with position -1: where
  // it stands) and puts the scroll bar where the view ended.
  void RedrawView(int code, int position = -1);

  // Element access for the window's own tests.
  QToolBar* menuToolBar() const { return tbrMenu_; }
  QToolButton* onlineButton() const { return onlineButton_; }
  QLabel* statusPanel(int i) const { return panels_[static_cast<std::size_t>(i)]; }
  QAction* action(const QString& name) const;
  QMenu* menu(const QString& name) const;
  QTimer* timer() const { return timer_; }
  LogCanvas* canvas() const { return canvas_; }
  QScrollBar* scrollBar() const { return scbrLog_; }
  QTableWidget* statisticsTable() const { return tbSt_; }
  QToolButton* lamp(int i) const { return lamps_[static_cast<std::size_t>(i)]; }
  const std::vector<QAction*>& recentFileEntries() const { return mruFile_->Entries(); }

  // The file dialogs of the log commands; tests answer them themselves.
  FileChooser chooseFile = ChooseWithDialog;

 public slots:
  // Keyboard shortcuts and items that the options switch on; F12 stays with
  // the picker while a send editor is open. The editors call it when they
  // open and close.
  void ApplyShortcuts();
  void oOnTimer();
  void aGoOnlClick();
  void aGoOfflClick();
  void miGerClick();
  void aInfTxtLoadClick();
  void miSeTeLoadClick();
  void miSeTeSavClick();
  void miLogOpClick();
  void miLogSavClick();
  void aLogDelClick();
  void miDemoClick();
  void miOptClick();
  void miAllgClick();
  void aAFilterClick();
  void miLFilterClick();
  void aAFiltAEClick();
  void miTelSizeClick();
  void miFrbTypClick();
  void miFrbUrsClick();
  void miLogDruckenClick();
  void miHelpContentsClick();
  // The telegram font of the settings applied to the log view (the caller
  // draws it anew).
  void ApplyTelegramFont();
  void miInfoClick();
  void mruFileClick(const std::string& name);
  void ReloadTexts();  // the private message after a language switch

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct MenuSpec;
  Instance& instance_;
  PortService* ports_ = nullptr;
  QToolBar* tbrMenu_ = nullptr;
  QToolBar* tbrOnline_ = nullptr;
  QToolBar* tbrSendTelegrams_ = nullptr;  // send telegrams 1..12
  QToolBar* tbrSendLists_ = nullptr;      // send lists 1..12
  std::array<QAction*, 24> sendActions_{};
  std::array<QAction*, 24> editActions_{};  // aPaTe1..12, aPaLi1..12
  QToolButton* onlineButton_ = nullptr;
  std::array<QToolButton*, 4> lamps_{};
  std::array<QLabel*, kStatusPanels> panels_{};
  std::vector<QMenu*> topMenus_;
  std::vector<QToolButton*> menuButtons_;
  std::map<QString, QAction*> actions_;
  std::map<QString, QMenu*> menus_;
  QTimer* timer_ = nullptr;
  QMenu* pmMain_ = nullptr;
  QAction* aGoOnl_ = nullptr;
  LogCanvas* canvas_ = nullptr;
  QScrollBar* scbrLog_ = nullptr;
  QTableWidget* tbSt_ = nullptr;
  std::array<int, 4> lampState_{-1, -1, -1, -1};
  std::unique_ptr<RecentFilesSection> mruFile_;
  bool finished_ = false;

  void BuildMenus();
  void BuildToolBars();
  void BuildStatusBar();
  void BuildSendActions();
  void RefreshTitle();
  void RefillRecentFiles();
  // After a command that may have read files or gone offline.
  void RefreshAfterFileCommand();
  void RefreshViewChecks();
  // After a filter changed: the switch item, the status panels, the view.
  void AfterFilterChange();
  void RefreshFilterSwitch();
  void SetDisplayFormat(int format);
  void BuildLogArea();
  void RefreshOnlineControls();
  void RefreshStatusBar();
  void FillStatistics();
  void RefreshCounters(int channel);
  void RefreshLamps();
  void ToggleDisplays();
  void OnViewKey(QKeyEvent* event);
  void OnScrollAction(int action);
};

}  // namespace kivo
