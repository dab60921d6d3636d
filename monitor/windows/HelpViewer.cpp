#include "windows/HelpViewer.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "startup/Services.h"

namespace rdxmon {

namespace {

const QString kHelpFileName = QStringLiteral("RDXMON-1.qch");
const QString kCollectionName = QStringLiteral("RDXMON-1.qhc");
// The collection remembers which build of the help file it has read.
const QString kStampKey = QStringLiteral("RDXMON/helpFileStamp");

QString fileStamp(const QFileInfo& info)
{
    return QStringLiteral("%1/%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

QString damaged(const QString& helpFile, const QString& detail)
{
    QString text
        = QStringLiteral("The help file %1 is damaged or is not a help file.").arg(QDir::toNativeSeparators(helpFile));
    if (!detail.isEmpty()) {
        text += QStringLiteral(" (%1)").arg(detail);
    }
    return text + QStringLiteral(" Help cannot be shown.");
}

}  // namespace

QString HelpFileName(const QString& programFolder)
{
    return programFolder + QLatin1Char('/') + kHelpFileName;
}

QString DefaultHelpCollectionFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (base.isEmpty()) {
        base = QDir::tempPath() + QStringLiteral("/rdxmon-cache");
    }
    return base + QStringLiteral("/help");
}

OpenedHelp OpenHelpFile(const QString& helpFile, const QString& collectionFolder)
{
    OpenedHelp result;
    const QFileInfo info(helpFile);
    if (!info.isFile()) {
        result.error = QStringLiteral("The help file %1 could not be found. Help cannot be shown.")
                           .arg(QDir::toNativeSeparators(helpFile));
        return result;
    }
    const QString absoluteFile = info.absoluteFilePath();
    const QString nameSpace = QHelpEngineCore::namespaceName(absoluteFile);
    if (nameSpace.isEmpty()) {
        result.error = damaged(helpFile, QString());
        return result;
    }

    // One collection per help file location, so that two installed copies of
    // the program never share one.
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(absoluteFile.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    const QString folder = collectionFolder + QLatin1Char('/') + key;
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("The help cannot be opened: the folder %1 cannot be made.")
                           .arg(QDir::toNativeSeparators(folder));
        return result;
    }

    auto engine = std::make_unique<QHelpEngine>(folder + QLatin1Char('/') + kCollectionName);
    // The collection is ours to write: it registers the help file.
    engine->setReadOnly(false);
    if (!engine->setupData()) {
        result.error = QStringLiteral("The help cannot be opened: %1").arg(engine->error());
        return result;
    }
    const QString stamp = fileStamp(info);
    if (engine->documentationFileName(nameSpace) != absoluteFile
        || engine->customValue(kStampKey).toString() != stamp) {
        // First use, or the help file was replaced: read it afresh.
        if (!engine->documentationFileName(nameSpace).isEmpty()) {
            engine->unregisterDocumentation(nameSpace);
        }
        if (!engine->registerDocumentation(absoluteFile)) {
            result.error = damaged(helpFile, engine->error());
            return result;
        }
        engine->setCustomValue(kStampKey, stamp);
    }

    const QUrl topic(QStringLiteral("qthelp://%1/doc/index.html").arg(nameSpace));
    if (engine->fileData(topic).isEmpty()) {
        result.error = damaged(helpFile, QStringLiteral("its first page is missing"));
        return result;
    }
    result.engine = std::move(engine);
    result.defaultTopic = topic;
    return result;
}

HelpBrowser::HelpBrowser(QHelpEngineCore& engine, QWidget* parent) : QTextBrowser(parent), mEngine(engine)
{
    setOpenExternalLinks(true);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    if (name.scheme() == QLatin1String("qthelp")) {
        return mEngine.fileData(name);
    }
    return QTextBrowser::loadResource(type, name);
}

HelpWindow::HelpWindow(std::unique_ptr<QHelpEngine> engine, const QUrl& defaultTopic)
    : mEngine(std::move(engine)), mDefaultTopic(defaultTopic)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kProgramTitle + QStringLiteral(" Help"));

    mBrowser = new HelpBrowser(*mEngine, this);
    mBrowser->setObjectName(QStringLiteral("helpBrowser"));

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("helpTabs"));
    QHelpContentWidget* contents = mEngine->contentWidget();
    tabs->addTab(contents, QStringLiteral("Contents"));
    tabs->addTab(makeIndexPage(), QStringLiteral("Index"));
    tabs->addTab(makeSearchPage(), QStringLiteral("Search"));
    connect(contents, &QHelpContentWidget::linkActivated, this, &HelpWindow::showTopic);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(tabs);
    splitter->addWidget(mBrowser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 640});
    setCentralWidget(splitter);

    QToolBar* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setMovable(false);
    QAction* back = bar->addAction(QStringLiteral("Back"), mBrowser, &QTextBrowser::backward);
    QAction* forward = bar->addAction(QStringLiteral("Forward"), mBrowser, &QTextBrowser::forward);
    bar->addAction(QStringLiteral("Home"), this, &HelpWindow::showDefaultTopic);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(mBrowser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(mBrowser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

    resize(900, 620);
    showDefaultTopic();
}

HelpWindow::~HelpWindow()
{
    // The engine's widgets live in this window; they go with it, before the
    // engine that feeds them.
    delete centralWidget();
}

QWidget* HelpWindow::makeIndexPage()
{
    auto* page = new QWidget(this);
    auto* lookFor = new QLineEdit(page);
    lookFor->setObjectName(QStringLiteral("indexLookFor"));
    lookFor->setClearButtonEnabled(true);
    QHelpIndexWidget* index = mEngine->indexWidget();
    connect(lookFor, &QLineEdit::textChanged, index, [index](const QString& text) { index->filterIndices(text); });
    connect(lookFor, &QLineEdit::returnPressed, index, &QHelpIndexWidget::activateCurrentItem);
    connect(index, &QHelpIndexWidget::documentActivated, this, [this](const QHelpLink& link) { showTopic(link.url); });
    connect(index, &QHelpIndexWidget::documentsActivated, this, [this](const QList<QHelpLink>& links) {
        if (!links.isEmpty()) {
            showTopic(links.first().url);
        }
    });
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("&Look for:"), page));
    layout->addWidget(lookFor);
    layout->addWidget(index);
    qobject_cast<QLabel*>(layout->itemAt(0)->widget())->setBuddy(lookFor);
    return page;
}

QWidget* HelpWindow::makeSearchPage()
{
    QHelpSearchEngine* search = mEngine->searchEngine();
    auto* page = new QWidget(this);
    QHelpSearchQueryWidget* query = search->queryWidget();
    QHelpSearchResultWidget* results = search->resultWidget();
    connect(query, &QHelpSearchQueryWidget::search, search, [search, query] { search->search(query->searchInput()); });
    connect(results, &QHelpSearchResultWidget::requestShowLink, this, &HelpWindow::showTopic);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(query);
    layout->addWidget(results, 1);
    // The full-text index lies beside the collection; it is brought up to
    // date in the background.
    search->reindexDocumentation();
    return page;
}

void HelpWindow::showTopic(const QUrl& url)
{
    mBrowser->setSource(url);
}

void HelpWindow::showDefaultTopic()
{
    showTopic(mDefaultTopic);
}

HelpViewer::HelpViewer(const QString& helpFile, MessageBoxes& messages, const QString& collectionFolder)
    : mHelpFile(helpFile), mMessages(messages),
      mCollectionFolder(collectionFolder.isEmpty() ? DefaultHelpCollectionFolder() : collectionFolder)
{}

HelpViewer::~HelpViewer()
{
    closeAll();
}

HelpWindow* HelpViewer::showHelp()
{
    if (mWindow.isNull()) {
        OpenedHelp help = OpenHelpFile(mHelpFile, mCollectionFolder);
        if (!help.error.isEmpty()) {
            mMessages.information(help.error);
            return nullptr;
        }
        mWindow = new HelpWindow(std::move(help.engine), help.defaultTopic);
    } else {
        mWindow->showDefaultTopic();
    }
    mWindow->show();
    mWindow->raise();
    mWindow->activateWindow();
    return mWindow.data();
}

void HelpViewer::closeAll()
{
    if (!mWindow.isNull()) {
        mWindow->close();
    }
}

}  // namespace rdxmon
