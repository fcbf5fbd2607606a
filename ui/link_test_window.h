// TfmLnk: the link test of one port. Each ticked item disturbs the link
// procedure of that port (answer busy, invert control bits, freeze the FCB,
// ...) until it is unticked or the window closes.
#pragma once

#include <QWidget>

class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStatusBar;

namespace kivo {

class Instance;

class TfmLnk : public QWidget {
  Q_OBJECT

 public:
  // A window of its own, owned by the main window.
  TfmLnk(Instance& instance, int portIndex, QWidget* mainWindow);

  int portIndex() const { return portIndex_; }
  // Closed and waiting to be freed: a new link test may be opened.
  bool closed() const { return closed_; }
  // Top 32 below the main window's top, right edge 10 inside the main
  // window's right edge, kept on the screen.
  void PlaceBeside(const QWidget* mainWindow);

 public slots:
  void chlbLnkClickCheck(QListWidgetItem* item);
  void btnExitClick();

 protected:
  // Every manipulation of the port ends with the window.
  void closeEvent(QCloseEvent* event) override;

 private:
  Instance& instance_;
  int portIndex_;
  bool closed_ = false;
  QListWidget* chlbLnk_ = nullptr;
  QPushButton* btnExit_ = nullptr;
  QStatusBar* stbrLnk_ = nullptr;
};

// The link test for port 1 (portIndex 0) or port 2 (1). Only one exists: when
// one is open it is brought to the front and stays bound to its port.
void OpenLinkTest(QWidget* mainWindow, Instance& instance, int portIndex);

}  // namespace kivo
