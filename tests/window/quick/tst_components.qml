import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Window

Item {
    id: top
    width: 480
    height: 320

    Component { id: pulseComponent; Pulse { width: 10; height: 10; Rectangle { width: 10; height: 10 } } }
    Component { id: stateDotComponent; StateDot {} }
    Component { id: projectDotComponent; ProjectStateDot {} }
    Component { id: catcherComponent; DoubleClickCatcher { width: 100; height: 40 } }
    Component { id: iconButtonComponent; IconButton { systemName: "bell.fill" } }
    Component { id: primaryComponent; PrimaryButton { title: "Create" } }
    Component { id: symbolComponent; SymbolIcon { size: 16 } }

    function useTheme(dark) {
        Theme.animationDuration = 0;
        Theme.dark = dark;
    }

    TestCase {
        name: "Pulse"
        when: windowShown

        function test_opacity_is_exactly_one_while_inactive() {
            const ranges = [[0.4, 1.0], [0.1, 0.3], [0, 0]];
            for (const r of ranges) {
                const p = createTemporaryObject(pulseComponent, top, { active: false, low: r[0], high: r[1] });
                compare(p.opacity, 1, "range " + r);
                wait(50); // a moment for a swing that must not start
                compare(p.opacity, 1);
            }
        }

        function test_turning_off_mid_swing_returns_to_one_at_once() {
            const p = createTemporaryObject(pulseComponent, top, { active: true, low: 0.4, high: 1.0, duration: 0.5 });
            compare(p.opacity, 0.4, "a swing starts at the lower bound");
            tryVerify(() => p.opacity > 0.5 && p.opacity < 1, 2000);
            p.active = false;
            compare(p.opacity, 1);
            compare(p.phase, 0);
        }

        // The swing reaches both bounds in a few steps; pulses move together on the shared clock,
        // which stops once no pulse is shown.
        function test_steps_between_the_bounds_together_and_rests_when_hidden() {
            const a = createTemporaryObject(pulseComponent, top, { active: true, low: 0.4, high: 0.8, duration: 0.5 });
            const b = createTemporaryObject(pulseComponent, top, { active: true, low: 0.4, high: 0.8, duration: 0.5 });
            const seen = {};
            let changes = 0, last = a.opacity;
            const start = Date.now();
            tryVerify(() => {
                compare(b.opacity, a.opacity, "one clock");
                if (a.opacity !== last) { ++changes; last = a.opacity; }
                seen[a.opacity.toFixed(3)] = true;
                return seen["0.800"] && Object.keys(seen).length >= 3 && a.opacity < 0.5 && changes > 3;
            }, 3000);
            verify(Object.keys(seen).length <= 3, "a few levels: " + JSON.stringify(seen));
            verify(changes <= (Date.now() - start) / 125 + 1, "at most 8 changes a second");
            verify(PulseClock.running);
            a.visible = false;
            b.active = false;
            tryVerify(() => !PulseClock.running, 500);
        }
    }

    TestCase {
        name: "StateDot"
        when: windowShown

        function cleanup() { top.useTheme(true); }

        function test_shape_by_state() {
            for (const size of [7, 12, 30]) {
                for (const s of ["running", "idle", "awaiting", "error", "stopped"]) {
                    const d = createTemporaryObject(stateDotComponent, top, { paneState: s, size: size });
                    const shape = findChild(d, "shape");
                    compare(shape.width, size);
                    compare(shape.height, size);
                    compare(shape.radius, s === "stopped" ? 2 : size / 2, s + " at " + size);
                }
            }
        }

        function test_colours_by_state_and_theme() {
            const fixed = { running: "#5b8cdd", awaiting: "#f0b429", error: "#f0524f", stopped: "#3f444c" };
            for (const dark of [true, false]) {
                top.useTheme(dark);
                for (const s in fixed) {
                    const d = createTemporaryObject(stateDotComponent, top, { paneState: s });
                    verify(Qt.colorEqual(findChild(d, "shape").color, fixed[s]), s + " dark=" + dark);
                }
                const idle = createTemporaryObject(stateDotComponent, top, { paneState: "idle" });
                verify(Qt.colorEqual(findChild(idle, "shape").color, dark ? "#565b63" : "#9097a1"), "idle dark=" + dark);
            }
        }

        function test_only_awaiting_pulses_and_only_awaiting_and_error_glow() {
            const glows = { running: 0, idle: 0, awaiting: 5, error: 4, stopped: 0 };
            for (const s in glows) {
                const d = createTemporaryObject(stateDotComponent, top, { paneState: s });
                compare(d.active, s === "awaiting", s);
                compare(d.glowRadius, glows[s], s);
            }
            const awaiting = createTemporaryObject(stateDotComponent, top, { paneState: "awaiting" });
            verify(Qt.colorEqual(awaiting.glowColor, Qt.rgba(0xf0 / 255, 0xb4 / 255, 0x29 / 255, 0.9)));
            awaiting.paneState = "idle";
            compare(awaiting.opacity, 1);
        }
    }

    TestCase {
        name: "ProjectStateDot"
        when: windowShown

        function test_takes_size_plus_six_with_or_without_ring() {
            for (const s of ["running", "idle", "awaiting", "error", "stopped"]) {
                const d = createTemporaryObject(projectDotComponent, top, { directory: "/tmp/p", paneState: s, size: 7 });
                compare(d.width, 13, s);
                compare(d.height, 13, s);
                compare(findChild(d, "dot").width, 7);
                compare(findChild(d, "ring").visible, s === "running", s);
                compare(findChild(d, "ring").active, s === "running", s);
            }
            const big = createTemporaryObject(projectDotComponent, top, { directory: "/tmp/p", size: 20 });
            compare(big.implicitWidth, 26);
        }

        function test_colour_comes_from_the_registry_modulo_ten() {
            const base = "/colour-test-" + Date.now() + "/";
            const colours = [];
            for (let i = 0; i < 11; ++i) {
                const d = createTemporaryObject(projectDotComponent, top, { directory: base + i });
                colours.push(d.projectColor.toString());
            }
            compare(colours[10], colours[0], "the eleventh folder wraps to the first colour");
            compare(new Set(colours.slice(0, 10)).size, 10, "ten folders, ten colours");
            // A folder keeps its colour when asked again.
            const again = createTemporaryObject(projectDotComponent, top, { directory: base + 3 });
            compare(again.projectColor.toString(), colours[3]);
            // The palette itself, in order.
            compare(ProjectColors.projectPalette.length, 10);
            compare(ProjectColors.projectPalette[0], "5b8cee");
            compare(ProjectColors.projectPalette[9], "9a7fc0");
        }
    }

    TestCase {
        name: "DoubleClickCatcher"
        when: windowShown

        SignalSpy { id: singles; signalName: "singleClicked" }
        SignalSpy { id: doubles; signalName: "doubleClicked" }

        function makeCatcher(reportsSingles) {
            const c = createTemporaryObject(catcherComponent, top, { reportsSingleClicks: reportsSingles, interval: 150 });
            singles.clear(); doubles.clear();
            singles.target = c; doubles.target = c;
            return c;
        }

        function test_double_click_reports_only_the_double() {
            const c = makeCatcher(true);
            mouseDoubleClickSequence(c, 20, 20);
            compare(doubles.count, 1);
            wait(400); // well past the interval: no late single click
            compare(singles.count, 0, "the first click of a double click is never a single click");
        }

        function test_single_click_is_reported_after_the_interval() {
            const c = makeCatcher(true);
            mouseClick(c, 20, 20);
            compare(singles.count, 0, "not at once: a second click may still come");
            tryCompare(singles, "count", 1, 1000);
            compare(doubles.count, 0);
        }

        function test_two_slow_clicks_are_two_singles() {
            const c = makeCatcher(true);
            mouseClick(c, 20, 20);
            tryCompare(singles, "count", 1, 1000);
            mouseClick(c, 20, 20);
            tryCompare(singles, "count", 2, 1000);
            compare(doubles.count, 0);
        }

        function test_without_single_clicks_only_doubles_are_reported() {
            const c = makeCatcher(false);
            mouseClick(c, 20, 20);
            wait(400); // well past the interval: no single click comes
            compare(singles.count, 0);
            mouseDoubleClickSequence(c, 20, 20);
            compare(doubles.count, 1);
        }
    }

    TestCase {
        name: "Buttons"
        when: windowShown

        SignalSpy { id: clicks; signalName: "clicked" }

        function cleanup() { top.useTheme(true); }

        function test_icon_button_frame_and_colours() {
            const b = createTemporaryObject(iconButtonComponent, top, { active: false });
            compare(b.width, 20);
            compare(b.height, 18);
            const symbol = findChild(b, "symbol");
            verify(Qt.colorEqual(symbol.color, "#787f89"));
            b.active = true;
            verify(Qt.colorEqual(symbol.color, "#eef0f3"));
            top.useTheme(false);
            verify(Qt.colorEqual(symbol.color, "#262a31"));
            b.active = false;
            verify(Qt.colorEqual(symbol.color, "#737982"));
            clicks.clear();
            clicks.target = b;
            mouseClick(b);
            compare(clicks.count, 1);
        }

        function test_icon_button_hover_fill() {
            const b = createTemporaryObject(iconButtonComponent, top, { x: 100, y: 100 });
            mouseMove(top, 5, 5);
            compare(b.hovering, false);
            mouseMove(b, 10, 9);
            tryCompare(b, "hovering", true, 1000);
            mouseMove(top, 5, 5);
            tryCompare(b, "hovering", false, 1000);
        }

        function test_primary_button_padding() {
            const hug = createTemporaryObject(primaryComponent, top, { fullWidth: false });
            const full = createTemporaryObject(primaryComponent, top, { fullWidth: true });
            compare(hug.implicitWidth - full.implicitWidth, 34, "17 on each side only when not full width");
            full.width = 300;
            compare(full.width, 300);
        }
    }

    TestCase {
        name: "Symbols"
        when: windowShown

        function test_every_symbol_the_views_name_is_bundled() {
            const names = ["bell.fill", "bell.slash.fill", "arrow.up.left.and.arrow.down.right", "lock.open.fill",
                           "ellipsis", "pencil", "arrow.clockwise", "clock.arrow.circlepath", "arrow.up.forward.app",
                           "chevron.left.forwardslash.chevron.right", "stop.fill", "xmark", "bubble.left", "sparkle",
                           "square.grid.2x2.fill", "square.stack.3d.up", "rectangle.grid.2x2", "arrow.down.circle",
                           "arrow.down.circle.fill", "sun.max", "moon", "plus", "arrow.left.arrow.right",
                           "arrow.down.right.and.arrow.up.left", "sidebar.left", "trash", "paintpalette", "checkmark"];
            const s = createTemporaryObject(symbolComponent, top);
            for (const n of names) {
                s.name = n;
                verify(s.known, n);
            }
            s.name = "no.such.symbol";
            verify(!s.known);
        }
    }
}
