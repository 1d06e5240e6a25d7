#pragma once
// The frame's start page: who works with which database in which installation, the suite's
// servers the frame runs and the module views it offers.
#include "framehost.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QTreeWidget;
struct QvFrameSettings;

class CQvFrameStartPage : public QWidget {
public:
    CQvFrameStartPage(CQvFrameHost* pHost, const QvFrameSettings& settings, QWidget* parent = nullptr);
    void Refresh();

private:
    CQvFrameHost* m_pHost;
    QLabel* m_pSummary = nullptr;
    QTreeWidget* m_pServers = nullptr;
    QTreeWidget* m_pViews = nullptr;
    bool m_bDatabaseRead = false;  // the data summary could be read
};

// The readable name of one of the suite's servers.
QString QvFrameServerTitle(const CString& strProgID);
// The numbers of organisations, persons, courses, runs and registrations of the database;
// "nicht lesbar" and `pbRead` (may be null) FALSE when it cannot be read.
QString QvFrameDataSummary(bool* pbRead = nullptr);
// The settings a readable database lacks although the modules need them (empty when it has them
// all or cannot be read).
QStringList QvFrameMissingSettings();
