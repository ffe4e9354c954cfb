import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Chat

// Renders the chat module's views to PNG files in the build tree's gallery folder, dark and
// light, to be looked at by eye.
Item {
    id: top
    width: 1000
    height: 760

    readonly property string fixture: [
        "# Migration plan",
        "The **store** keeps *every* workspace; `state.json` is written ~~twice~~ once. See [the docs](https://example.com).",
        "Second line of the same paragraph,  with two spaces.",
        "## Steps",
        "- Read the old file",
        "* Convert each **session**",
        "-1. negative number",
        "007. zero-padded number",
        "12. twelve",
        "### Results",
        "| Name | Size | Notes |",
        "|:-----|-----:|-------|",
        "| a.txt | 12 |",
        "| b.txt | 7 | `fast` | extra |",
        "```swift",
        "let veryLongLine = \"" + "0123456789".repeat(14) + "\"",
        "    indented()",
        "```",
        "> quoted stays text, <b>tags</b> too",
    ].join("\n")

    readonly property string diffText: {
        const out = [];
        for (let i = 0; i < 40; ++i) {
            out.push("  context line " + i);
            out.push("- removed " + "old words ".repeat(i % 3 === 0 ? 16 : 2));
            out.push("+ added " + "new words ".repeat(i % 4 === 0 ? 18 : 3));
            out.push("");
        }
        return out.join("\n");
    }

    Rectangle {
        id: stage
        width: 620
        height: column.implicitHeight + 40
        color: Theme.pair("0e0f13", "e7e9ee", 1)
        Column {
            id: column
            x: 20
            y: 20
            width: 580
            spacing: 14
            MarkdownText {
                width: parent.width
                text: top.fixture
            }
            CodeBlock {
                width: parent.width
                collapsedLines: 3
                title: "Edit store.cpp"
                isDiff: true
                text: "+ added line that is rather long and will be cut at the end of the collapsed block\n- removed\n  context\n+ more"
            }
            CodeBlock {
                width: parent.width
                collapsedLines: 2
                title: "bash"
                text: "ls -la\ncd /tmp"
            }
        }
    }

    Component { id: codeModal; CodePreviewModal { anchors.fill: parent } }
    Component { id: markdownModal; MarkdownPreviewView { anchors.fill: parent } }

    TestCase {
        name: "Gallery"
        when: windowShown

        function save(item, name) {
            const grab = grabImage(item);
            grab.save(TestSupport.galleryDir() + "/" + name + ".png");
        }

        function test_gallery() {
            Theme.animationDuration = 0;
            for (const dark of [true, false]) {
                Theme.dark = dark;
                const suffix = dark ? "dark" : "light";
                wait(0);
                save(stage, "chat-markdown-" + suffix);

                const diff = createTemporaryObject(codeModal, top, { title: "Sources/App/Store.swift — a long title that should be shortened in the middle", content: top.diffText, isDiff: true });
                waitForRendering(diff);
                save(top, "chat-diff-preview-" + suffix);
                diff.destroy();

                const md = createTemporaryObject(codeModal, top, { title: "plan.md", content: top.fixture, isMarkdown: true });
                waitForRendering(md);
                save(top, "chat-markdown-code-preview-" + suffix);
                md.destroy();

                const doc = createTemporaryObject(markdownModal, top, { fileName: "NOTES.md", markdown: "# Notes\n## Setup\nPlain paragraph with **stars** kept.\n- a bullet\n* not a bullet\n1. not numbered\n```\nlet x = 1\n\n    indented\n```\n| a | b |\n|---|---|" });
                waitForRendering(doc);
                save(top, "chat-markdown-preview-" + suffix);
                doc.destroy();
            }
            Theme.dark = true;
        }
    }
}
