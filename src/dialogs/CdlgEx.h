#pragma once
// CdlgEx: the standard and shell dialogs behind one object. A caller sets options as
// properties, calls a Show method (or assigns a dialog number to Action) and reads the
// results back from the same properties. Members are declared in the order of the object's
// interface and reachable by name through the meta-object system.
#include "dialogs/DialogErrors.h"
#include "dialogs/DialogPlatform.h"
#include "dialogs/DialogRecords.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>

namespace dialogs
{

class CdlgEx : public QObject
{
    Q_OBJECT
    // Action keeps nothing: assigning it runs a dialog, reading it gives 0.
    Q_PROPERTY(int Action READ Action WRITE setAction)
    Q_PROPERTY(bool CancelError READ CancelError WRITE setCancelError)
    Q_PROPERTY(int hOwner READ hOwner WRITE sethOwner)
    Q_PROPERTY(int flags READ flags WRITE setFlags)
    Q_PROPERTY(QString DialogTitle READ DialogTitle WRITE setDialogTitle)
    Q_PROPERTY(QString DialogPrompt READ DialogPrompt WRITE setDialogPrompt)
    Q_PROPERTY(QString AppName READ AppName WRITE setAppName)
    Q_PROPERTY(int hIcon READ hIcon WRITE sethIcon)
    Q_PROPERTY(bool Bold READ Bold WRITE setBold)
    Q_PROPERTY(QString FontName READ FontName WRITE setFontName)
    Q_PROPERTY(int FontSize READ FontSize WRITE setFontSize)
    Q_PROPERTY(bool Italic READ Italic WRITE setItalic)
    Q_PROPERTY(bool StrikeThru READ StrikeThru WRITE setStrikeThru)
    Q_PROPERTY(bool Underline READ Underline WRITE setUnderline)
    Q_PROPERTY(QString DefaultExt READ DefaultExt WRITE setDefaultExt)
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    Q_PROPERTY(QString FileTitle READ FileTitle WRITE setFileTitle)
    Q_PROPERTY(QString Filter READ Filter WRITE setFilter)
    Q_PROPERTY(int FilterIndex READ FilterIndex WRITE setFilterIndex)
    Q_PROPERTY(QString InitDir READ InitDir WRITE setInitDir)
    Q_PROPERTY(int IconSize READ IconSize WRITE setIconSize)
    Q_PROPERTY(int HelpCommand READ HelpCommand WRITE setHelpCommand)
    Q_PROPERTY(QString HelpFile READ HelpFile WRITE setHelpFile)
    Q_PROPERTY(int HelpKey READ HelpKey WRITE setHelpKey)
    Q_PROPERTY(int RGBResult READ RGBResult WRITE setRGBResult)

  public:
    // Uses the desktop's dialogs (the process-wide Qt platform).
    explicit CdlgEx(QObject* parent = nullptr);
    // Uses `platform`, which must outlive the object.
    explicit CdlgEx(DialogPlatform& platform, QObject* parent = nullptr);

    void setAction(int New_Action);
    int Action() const { return 0; }
    void setCancelError(bool vData) { m_cancelError = vData; }
    bool CancelError() const { return m_cancelError; }
    int hOwner() const { return m_hOwner; }
    void sethOwner(int New_hOwner) { m_hOwner = New_hOwner; }
    int flags() const { return m_flags; }
    void setFlags(int New_Flags) { m_flags = New_Flags; }
    QString DialogTitle() const { return m_dialogTitle; }
    void setDialogTitle(const QString& sTitle) { m_dialogTitle = sTitle; }
    QString DialogPrompt() const { return m_dialogPrompt; }
    void setDialogPrompt(const QString& New_Prompt) { m_dialogPrompt = New_Prompt; }
    QString AppName() const { return m_appName; }
    void setAppName(const QString& New_AppName) { m_appName = New_AppName; }
    void sethIcon(int vData) { m_hIcon = vData; }
    int hIcon() const { return m_hIcon; }
    bool Bold() const { return m_bold; }
    void setBold(bool bBold) { m_bold = bBold; }
    QString FontName() const { return m_fontName; }
    void setFontName(const QString& sName) { m_fontName = sName; }
    int FontSize() const { return m_fontSize; }
    void setFontSize(int lSize) { m_fontSize = lSize; }
    bool Italic() const { return m_italic; }
    void setItalic(bool BItalic) { m_italic = BItalic; }
    bool StrikeThru() const { return m_strikeThru; }
    void setStrikeThru(bool bStrikethru) { m_strikeThru = bStrikethru; }
    bool Underline() const { return m_underline; }
    void setUnderline(bool bUnderline) { m_underline = bUnderline; }
    QString DefaultExt() const { return m_defaultExt; }
    void setDefaultExt(const QString& sDefExt) { m_defaultExt = sDefExt; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString& sFileName) { m_fileName = sFileName; }
    QString FileTitle() const { return m_fileTitle; }
    void setFileTitle(const QString& sTitle) { m_fileTitle = sTitle; }
    QString Filter() const { return m_filter; }
    void setFilter(const QString& sFilter) { m_filter = sFilter; }
    int FilterIndex() const { return m_filterIndex; }
    void setFilterIndex(int lIndex) { m_filterIndex = lIndex; }
    QString InitDir() const { return m_initDir; }
    void setInitDir(const QString& sDir) { m_initDir = sDir; }
    // A size other than 16 or 32 becomes 32 when read.
    int IconSize();
    // A size other than 16 or 32 is replaced by 32, in the caller's variable too.
    void letIconSize(int& nSize);
    void setIconSize(int nSize) { letIconSize(nSize); }
    int HelpCommand() const { return m_helpCommand; }
    void setHelpCommand(int lCommand) { m_helpCommand = lCommand; }
    QString HelpFile() const { return m_helpFile; }
    void setHelpFile(const QString& sFile) { m_helpFile = sFile; }
    int HelpKey() const { return m_helpKey; }
    void setHelpKey(int sKey) { m_helpKey = sKey; }
    int RGBResult() const { return m_rgbResult; }
    void setRGBResult(int lValue) { m_rgbResult = lValue; }

    Q_INVOKABLE QVariant ShowShutDown();
    Q_INVOKABLE QVariant ShowRestart();
    Q_INVOKABLE QVariant ShowRun();
    Q_INVOKABLE int ShowFormat(int iDrive = 0, int iCapacity = 0, int iFormatType = 0);
    Q_INVOKABLE QVariant ShowIcon();
    Q_INVOKABLE QString ShowFolder();
    Q_INVOKABLE QVariant ShowObjectProp(const QString& sObjectName, const QString& sTab);
    Q_INVOKABLE QVariant ShowAbout();
    Q_INVOKABLE void ShowOpen();
    Q_INVOKABLE void ShowSave();
    Q_INVOKABLE void ShowHelp();
    Q_INVOKABLE void ShowColor();
    Q_INVOKABLE void ShowFont();
    Q_INVOKABLE void ShowPrinter();
    Q_INVOKABLE void ShowFindFiles();

    // The file buffer and the file-title buffer hold this many characters.
    static constexpr int kFileBufferLength = 255;

  private:
    void PrepareFileDialog();
    void readBackFileDialog(std::int32_t result);
    void raiseCancelError() const;
    void fillDevMode(std::vector<std::uint8_t>& devMode);
    std::vector<std::uint8_t> buildDevNames();
    void applyChosenPrinter(const std::vector<std::uint8_t>& devMode);

    DialogPlatform& m_platform;
    std::int32_t m_lastResult = 0;
    OpenFileName m_ofn;

    bool m_cancelError = false;
    int m_hOwner = 0;
    int m_flags = 0;
    QString m_dialogTitle;
    QString m_dialogPrompt;
    QString m_appName;
    int m_hIcon = 0;
    bool m_bold = false;
    QString m_fontName;
    int m_fontSize = 0;
    bool m_italic = false;
    bool m_strikeThru = false;
    bool m_underline = false;
    QString m_defaultExt;
    QString m_fileName;
    QString m_fileTitle;
    QString m_filter;
    int m_filterIndex = 0;
    QString m_initDir;
    int m_iconSize = 0;
    int m_helpCommand = 0;
    QString m_helpFile;
    int m_helpKey = 0;
    int m_rgbResult = 0;
};

} // namespace dialogs
