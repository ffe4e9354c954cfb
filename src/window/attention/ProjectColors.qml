pragma Singleton
import QtQuick
import Brinmoor.App

// The ten project colours, the same in both themes. A project folder takes the colour at its
// position in the process-wide colour registry, modulo ten: the eleventh folder seen shares the
// first one's colour.
QtObject {
    readonly property list<string> projectPalette: ["5b8cee", "e0728f", "4aa37e", "d6b271", "a07cf2",
                                                    "6cb6ff", "c77f7f", "5ad07a", "c98a3a", "9a7fc0"]

    function hexFor(directory: string): string {
        const i = ProjectColorRegistry.index(directory);
        return projectPalette[((i % 10) + 10) % 10];
    }
    function colorFor(directory: string): color {
        return Theme.hex(hexFor(directory), 1);
    }
}
