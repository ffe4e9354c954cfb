// Qt Quick Test runner for the chat module's views: code cards and blocks, the markdown renderer,
// the two preview overlays, the composer, timeline rows and prompt cards, and the gallery that
// renders them to PNG files.
#include "ChatModels.h"
#include "ChatText.h"
#include "ClaudeSession.h"
#include "ComposerDraft.h"
#include "SidecarProtocol.h"
#include "TimelineModel.h"
#include "support/QuickTestMain.h"
#include "support/SamplePng.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickTextDocument>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

#include <set>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)

// What the QML tests need from outside QML: the clipboard, the links that were opened, and
// where the gallery's pictures go.
class TestSupport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    QStringList opened;

    Q_INVOKABLE QString clipboardText() const { return QGuiApplication::clipboard()->text(); }
    Q_INVOKABLE void setClipboardText(const QString& text) const { QGuiApplication::clipboard()->setText(text); }
    Q_INVOKABLE QStringList openedLinks() const { return opened; }
    // A timeline as a chat session holds one, filled from plain objects: {id, kind, text, seconds,
    // tool: {name, summary, detail, todos: [{content, status}]}, attachments: [{name, image}],
    // outcome, unanswered, noAnswer} where `image` true attaches a small PNG and a string attaches those
    // bytes as an "image", and `outcome` is a tool's or result's ("failed", "denied", …).
    Q_INVOKABLE QObject* timeline() { return new brinmoor::TimelineModel(this); }
    Q_INVOKABLE void setRows(QObject* model, const QVariantList& rows) const
    {
        using brinmoor::TimelineRow;
        static const QHash<QString, TimelineRow::Kind> kinds{
            {"user", TimelineRow::Kind::User}, {"thinking", TimelineRow::Kind::Thinking},
            {"text", TimelineRow::Kind::Text}, {"tool", TimelineRow::Kind::Tool},
            {"toolResult", TimelineRow::Kind::ToolResult}};
        QList<TimelineRow> out;
        for (const QVariant& v : rows) {
            const QVariantMap m = v.toMap();
            TimelineRow r;
            r.id = m.value("id").toString();
            r.kind = kinds.value(m.value("kind").toString());
            r.text = m.value("text").toString();
            static const QHash<QString, brinmoor::ToolOutcome> outcomes{
                {"pending", brinmoor::ToolOutcome::Pending}, {"done", brinmoor::ToolOutcome::Done},
                {"failed", brinmoor::ToolOutcome::Failed}, {"denied", brinmoor::ToolOutcome::Denied},
                {"interrupted", brinmoor::ToolOutcome::Interrupted}};
            r.outcome = outcomes.value(m.value("outcome").toString(),
                                       r.kind == TimelineRow::Kind::ToolResult ? brinmoor::ToolOutcome::Done
                                                                               : brinmoor::ToolOutcome::Pending);
            r.unanswered = m.value("unanswered").toBool();
            r.noAnswer = m.value("noAnswer").toString();
            if (m.contains("seconds"))
                r.seconds = m.value("seconds").toDouble();
            const QVariantMap t = m.value("tool").toMap();
            r.tool.id = r.id;
            r.tool.name = t.value("name").toString();
            r.tool.summary = t.value("summary").toString();
            r.tool.outcome = r.outcome;
            if (t.contains("detail"))
                r.tool.detail = t.value("detail").toString();
            if (t.contains("todos")) {
                r.tool.todos = QList<brinmoor::TodoItem>{};
                for (const QVariant& item : t.value("todos").toList())
                    r.tool.todos->append({item.toMap().value("content").toString(), item.toMap().value("status").toString()});
            }
            for (const QVariant& a : m.value("attachments").toList()) {
                brinmoor::ChatAttachment att;
                att.name = a.toMap().value("name").toString();
                const QVariant image = a.toMap().value("image");
                att.isImage = image.isValid();
                if (image.typeId() == QMetaType::Bool)
                    att.data = brinmoor::test::samplePng();
                else if (image.isValid())
                    att.data = image.toString().toUtf8();
                r.attachments.append(att);
            }
            out.append(r);
        }
        qobject_cast<brinmoor::TimelineModel*>(model)->setRows(out);
    }
    // An askQuestion value from {id, questions: [{question, header, multiSelect, options: [{label, description}]}]}.
    Q_INVOKABLE QVariant ask(const QVariantMap& m) const
    {
        brinmoor::AskQuestion ask;
        ask.id = m.value("id").toString();
        for (const QVariant& qv : m.value("questions").toList()) {
            const QVariantMap q = qv.toMap();
            brinmoor::QuestionItem item;
            item.question = q.value("question").toString();
            item.header = q.value("header").toString();
            item.multiSelect = q.value("multiSelect").toBool();
            for (const QVariant& o : q.value("options").toList())
                item.options.append({o.toMap().value("label").toString(), o.toMap().value("description").toString()});
            ask.questions.append(item);
        }
        return QVariant::fromValue(ask);
    }
    // Composer tests: chat sessions that run no sidecar, with the events a sidecar would send,
    // files to paste and an input method's composition.
    Q_INVOKABLE brinmoor::ClaudeSession* newSession(const QString& provider)
    {
        return new brinmoor::ClaudeSession(QUuid::createUuid(), brinmoor::test::quickSandbox().path(), false, std::nullopt,
                                           brinmoor::chatProviderFromRaw(provider).value_or(brinmoor::ChatProvider::Claude),
                                           true, this);
    }
    // An assistant message of one text block, as a sidecar's "assistant" event brings it.
    Q_INVOKABLE void answer(brinmoor::ClaudeSession* s, const QString& text)
    {
        brinmoor::SidecarEvent::Assistant a;
        a.blocks = {brinmoor::ChatBlock::ofText(text)};
        s->apply({a});
    }
    // One sidecar event, as the sidecar would write it ({ev: "history", messages: [...]}, ...).
    Q_INVOKABLE void feed(brinmoor::ClaudeSession* s, const QVariantMap& event)
    {
        const QByteArray line = QJsonDocument(QJsonObject::fromVariantMap(event)).toJson(QJsonDocument::Compact);
        if (const auto decoded = brinmoor::SidecarEvent::decode(QString::fromUtf8(line)))
            s->apply(*decoded);
    }
    // The text of the last message the user sent.
    Q_INVOKABLE QString sentText(brinmoor::ClaudeSession* s) const
    {
        return s->transcript().isEmpty() ? QString() : s->transcript().last().blocks.value(0).text;
    }
    Q_INVOKABLE void setCommands(brinmoor::ClaudeSession* s, const QStringList& names)
    {
        s->apply({brinmoor::SidecarEvent::Commands{names}});
    }
    Q_INVOKABLE void setContext(brinmoor::ClaudeSession* s, int tokens, int window)
    {
        s->apply({brinmoor::SidecarEvent::Context{tokens, window}});
    }
    // `count` stored conversations; the pane is in the second one.
    Q_INVOKABLE void setSessions(brinmoor::ClaudeSession* s, int count)
    {
        brinmoor::SidecarEvent::SessionsList list;
        for (int i = 0; i < count; ++i)
            list.items << brinmoor::SessionSummary{QStringLiteral("conv-%1").arg(i),
                                                   QStringLiteral("Conversation %1 about the store migration and a summary long enough to be cut at the end").arg(i),
                                                   double(i)};
        s->apply({brinmoor::SidecarEvent::Session{QStringLiteral("conv-1"), std::nullopt}});
        s->apply({list});
    }
    Q_INVOKABLE QString writeFile(const QString& name, int imageWidth) const
    {
        const QString path = brinmoor::test::quickSandbox().filePath(name);
        if (imageWidth > 0) {
            QImage image(imageWidth, imageWidth * 2 / 3, QImage::Format_RGB32);
            image.fill(QColor(0x5b, 0x8c, 0xdd));
            for (int y = 0; y < image.height() / 2; ++y)
                for (int x = 0; x < image.width(); ++x)
                    image.setPixelColor(x, y, QColor(0xf0, 0xb4, 0x29));
            image.save(path);
        } else {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write("notes");
        }
        return path;
    }
    Q_INVOKABLE void setClipboardFiles(const QStringList& paths) const
    {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        mime->setUrls(urls);
        mime->setText(paths.join(u' '));
        QGuiApplication::clipboard()->setMimeData(mime);
    }
    Q_INVOKABLE QUrl fileUrl(const QString& path) const { return QUrl::fromLocalFile(path); }
    // Whether a text item draws only the lines in its viewport (rather than all of its text).
    Q_INVOKABLE bool drawsOnlyWhatShows(QObject* item) const
    {
        const auto* quickItem = qobject_cast<QQuickItem*>(item);
        return quickItem && quickItem->flags().testFlag(QQuickItem::ItemObservesViewport);
    }
    // An input method's candidate shown (not yet committed) in `item`.
    Q_INVOKABLE void compose(QObject* item, const QString& candidate) const
    {
        QInputMethodEvent event(candidate, {});
        QCoreApplication::sendEvent(item, &event);
    }
    // The stretches of a chat editor's draft drawn on the marks' boxes, as [start, end] pairs
    // (marks side by side as one stretch). A box counts only where it lies over its mark's text,
    // as the editor places it: its left edge at the mark's start, or its right edge at its end.
    Q_INVOKABLE QVariantList pinkStretches(QObject* edit) const
    {
        QVariantList out;
        auto* text = qobject_cast<QQuickItem*>(edit);
        if (!text || !text->parentItem())
            return out;
        const auto place = [text](int position) {
            QRectF r;
            QMetaObject::invokeMethod(text, "positionToRectangle", Q_RETURN_ARG(QRectF, r), Q_ARG(int, position));
            return r;
        };
        std::set<std::pair<int, int>> marks;
        QList<QQuickItem*> items = text->parentItem()->childItems();
        while (!items.isEmpty()) {
            QQuickItem* item = items.takeLast();
            items << item->childItems();
            if (item->objectName() != QLatin1String("markBox") || !item->isVisible())
                continue;
            const int start = item->property("start").toInt(), end = item->property("end").toInt();
            const QRectF box = item->mapRectToItem(text, QRectF(1, -1, item->width() - 2, item->height() + 2));
            const QRectF from = place(start), to = place(end);
            const bool overStart = std::abs(box.left() - from.x()) <= 1 && std::abs(box.top() - from.y()) <= 1;
            const bool overEnd = std::abs(box.right() - to.x()) <= 1 && std::abs(box.top() - to.y()) <= 1;
            if (overStart || overEnd)
                marks.insert({start, end});
        }
        int start = -1, end = -1;
        for (const auto& [s, e] : marks) {
            if (s != end) {
                if (start >= 0)
                    out << QVariant(QVariantList{start, end});
                start = s;
            }
            end = e;
        }
        if (start >= 0)
            out << QVariant(QVariantList{start, end});
        return out;
    }
    // A draft as a composer left it in its store: `marks` as [{at, character}], at offsets of
    // `text`. Owned by this object.
    Q_INVOKABLE QObject* keptDraft(const QString& text, const QVariantList& marks)
    {
        auto* draft = new brinmoor::ComposerDraft(this);
        QList<brinmoor::ComposerDraft::Mark> kept;
        for (const QVariant& m : marks)
            kept.append({m.toMap().value(QStringLiteral("at")).toInt(), char32_t(m.toMap().value(QStringLiteral("character")).toUInt())});
        draft->keep(text, int(text.size()), kept);
        return draft;
    }
    // The marks' boxes drawn over a text item (a chat editor, a one-line field), each as
    // {start, end, left, right, top} in the item's coordinates, the box's border left out.
    Q_INVOKABLE QVariantList markBoxes(QObject* edit) const
    {
        QVariantList out;
        auto* text = qobject_cast<QQuickItem*>(edit);
        if (!text)
            return out;
        QList<QQuickItem*> items = text->childItems();
        if (text->parentItem())
            items << text->parentItem()->childItems();
        std::set<QQuickItem*> seen;
        while (!items.isEmpty()) {
            QQuickItem* item = items.takeLast();
            if (!seen.insert(item).second)
                continue;
            items << item->childItems();
            if (item->objectName() != QLatin1String("markBox") || !item->isVisible())
                continue;
            const QRectF box = item->mapRectToItem(text, QRectF(1, -1, item->width() - 2, item->height() + 2));
            out << QVariantMap{{QStringLiteral("start"), item->property("start")},
                               {QStringLiteral("end"), item->property("end")},
                               {QStringLiteral("left"), box.left()},
                               {QStringLiteral("right"), box.right()},
                               {QStringLiteral("top"), box.top()}};
        }
        return out;
    }
    // From now on, counts the edits of a text editor's draft that put a raw override, isolate or
    // zero-width space into its document (read by rawHiddenEdits()): none, when hidden characters
    // go in as their marks.
    Q_INVOKABLE void watchRawHidden(QObject* edit)
    {
        QObject::disconnect(m_rawWatch);
        m_rawHidden = 0;
        const auto* quickDocument = edit ? edit->property("textDocument").value<QQuickTextDocument*>() : nullptr;
        if (!quickDocument)
            return;
        QTextDocument* document = quickDocument->textDocument();
        m_rawWatch = QObject::connect(document, &QTextDocument::contentsChange, this, [this, document](int at, int, int added) {
            QTextCursor put(document);
            put.setPosition(at);
            put.setPosition(std::min(at + added, document->characterCount() - 1), QTextCursor::KeepAnchor);
            const QString text = put.selectedText();
            if (text.contains(QChar(0x202E)) || text.contains(QChar(0x200B)) || text.contains(QChar(0x2066)))
                ++m_rawHidden;
        });
    }
    Q_INVOKABLE int rawHiddenEdits() const { return m_rawHidden; }
    // Puts `text` over the stretch from `from` to `to` of a text editor's draft as a piece of a
    // document, as a drop or the editor's own paste does, past the composer's paste.
    Q_INVOKABLE void insertFragment(QObject* edit, int from, int to, const QString& text) const
    {
        const auto* quickDocument = edit ? edit->property("textDocument").value<QQuickTextDocument*>() : nullptr;
        if (!quickDocument)
            return;
        QTextCursor at(quickDocument->textDocument());
        at.setPosition(from);
        at.setPosition(to, QTextCursor::KeepAnchor);
        at.insertFragment(QTextDocumentFragment::fromPlainText(text));
    }
    // How many paragraphs of a text editor's draft have no lines laid out (none drawn).
    Q_INVOKABLE int paragraphsNotLaidOut(QObject* edit) const
    {
        const auto* quickDocument = edit ? edit->property("textDocument").value<QQuickTextDocument*>() : nullptr;
        int count = 0;
        if (quickDocument)
            for (QTextBlock block = quickDocument->textDocument()->begin(); block.isValid(); block = block.next())
                count += block.layout()->lineCount() == 0;
        return count;
    }
    Q_INVOKABLE QString galleryDir() const
    {
        const QString dir = QStringLiteral(BRINMOOR_GALLERY_DIR);
        QDir().mkpath(dir);
        return dir;
    }

private:
    QMetaObject::Connection m_rawWatch;
    int m_rawHidden = 0;
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable() { QQuickStyle::setStyle(QStringLiteral("Basic")); }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        auto* support = new TestSupport(engine);
        brinmoor::ChatText::linkOpener = [support](const QUrl& url) { support->opened << url.toString(); };
        engine->rootContext()->setContextProperty(QStringLiteral("TestSupport"), support);
    }
};

int main(int argc, char** argv)
{
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    return brinmoor::test::quickTestMain(argc, argv, "chat_quick", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "main.moc"
