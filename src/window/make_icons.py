# Draws the bundled symbol set: simple original 24x24 glyphs, black on transparent. The icon
# component recolours them; white marks drawn over black are cut out (they become transparent),
# since the SVG renderer has no masks.
import os, sys
out = sys.argv[1]
S = 'fill="none" stroke="#000" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"'
F = 'fill="#000"'
def svg(body):
    return f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">{body}</svg>\n'
bell = 'M12 2.5c-.8 0-1.4.6-1.4 1.4v.6C7.6 5.2 5.6 7.8 5.6 11v4.2L3.8 17.6c-.4.5 0 1.2.6 1.2h15.2c.6 0 1-.7.6-1.2l-1.8-2.4V11c0-3.2-2-5.8-5-6.5v-.6c0-.8-.6-1.4-1.4-1.4zM9.5 19.8a2.5 2.5 0 0 0 5 0z'
circ = lambda cx,cy,r,a='': f'<circle cx="{cx}" cy="{cy}" r="{r}" {a}/>'
icons = {
 'bell.fill': f'<path {F} d="{bell}"/>',
 'bell.slash.fill': f'<path {F} d="{bell}"/><path d="M3 2.5L21.5 21" stroke="#fff" stroke-width="4.5"/><path d="M3.5 3L21 20.5" {S}/>',
 'arrow.up.left.and.arrow.down.right': f'<path {S} d="M4 10V4h6M4 4l6.5 6.5M20 14v6h-6M20 20l-6.5-6.5"/>',
 'arrow.down.right.and.arrow.up.left': f'<path {S} d="M4 10h6V4M10 10L3.5 3.5M20 14h-6v6M14 14l6.5 6.5"/>',
 'lock.open.fill': f'<rect x="3" y="11" width="13" height="10.5" rx="2" {F}/><path {S} d="M13 11V7.5a3.6 3.6 0 0 1 7.2 0V9"/>',
 'ellipsis': circ(5,12,2,F)+circ(12,12,2,F)+circ(19,12,2,F),
 'pencil': f'<path {S} d="M15.5 4.5l4 4L9 19l-5 1 1-5z M13.5 6.5l4 4"/>',
 'arrow.clockwise': f'<path {S} d="M19.5 12a7.5 7.5 0 1 1-2.2-5.3"/><path {F} d="M20.5 3.5v6.5h-6.5z"/>',
 'clock.arrow.circlepath': f'<path {S} d="M4.5 12a7.5 7.5 0 1 0 2.2-5.3M12 8v4.5l3 2"/><path {F} d="M3.5 3.5v6.5H10z"/>',
 'arrow.up.forward.app': f'<path {S} d="M11 4H6.5A2.5 2.5 0 0 0 4 6.5v11A2.5 2.5 0 0 0 6.5 20h11a2.5 2.5 0 0 0 2.5-2.5V13M14 4h6v6M20 4l-9 9"/>',
 'chevron.left.forwardslash.chevron.right': f'<path {S} d="M7.5 7L2.5 12l5 5M16.5 7l5 5-5 5M13.5 4.5l-3 15"/>',
 'stop.fill': f'<rect x="5" y="5" width="14" height="14" rx="2.5" {F}/>',
 'stop.circle.fill': f''+circ(12,12,10,F+'')+'<rect x="8.5" y="8.5" width="7" height="7" rx="1" fill="#fff"/>',
 'xmark': f'<path {S} d="M6 6l12 12M18 6L6 18"/>',
 'xmark.circle.fill': f''+circ(12,12,10,F+'')+'<path d="M8.5 8.5l7 7M15.5 8.5l-7 7" stroke="#fff" stroke-width="2.2" stroke-linecap="round"/>',
 'bubble.left': f'<path {S} d="M12 4c5 0 9 3.1 9 7s-4 7-9 7c-1 0-2-.1-2.9-.4L4 20l1.3-4.3C3.9 14.4 3 12.8 3 11c0-3.9 4-7 9-7z"/>',
 'sparkle': f'<path {F} d="M12 2c.6 4.9 2.9 7.3 8 8-5.1.8-7.4 3.1-8 8-.6-4.9-2.9-7.2-8-8 5.1-.7 7.4-3.1 8-8z" transform="translate(0 2)"/>',
 'square.grid.2x2.fill': ''.join(f'<rect x="{x}" y="{y}" width="7.5" height="7.5" rx="1.8" {F}/>' for x in (3,13.5) for y in (3,13.5)),
 'square.grid.2x2': ''.join(f'<rect x="{x}" y="{y}" width="6.5" height="6.5" rx="1.5" {S}/>' for x in (4,13.5) for y in (4,13.5)),
 'rectangle.grid.2x2': f'<rect x="3" y="4" width="18" height="16" rx="2.5" {S}/><path {S} d="M12 4v16M3 12h18"/>',
 'square.stack.3d.up': f'<path {S} d="M12 3l9 4.5-9 4.5-9-4.5z M3 12l9 4.5 9-4.5 M3 16.5l9 4.5 9-4.5"/>',
 'arrow.down.circle': circ(12,12,9.5,S)+f'<path {S} d="M12 7v9.5M8 12.5l4 4 4-4"/>',
 'arrow.down.circle.fill': f''+circ(12,12,10.5,F+'')+'<path d="M12 7v9.5M8 12.5l4 4 4-4" stroke="#fff" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>',
 'arrow.up.circle.fill': f''+circ(12,12,10.5,F+'')+'<path d="M12 17V7.5M8 11.5l4-4 4 4" stroke="#fff" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>',
 'arrow.down': f'<path {S} d="M12 4v16M6 14l6 6 6-6"/>',
 'arrow.left.arrow.right': f'<path {S} d="M3 8h16M15 4l4 4-4 4M21 16H5M9 12l-4 4 4 4"/>',
 'arrow.triangle.branch': f'<path {S} d="M7 21V12c0-2.5 2-4.5 4.5-4.5H17M7 21V3M13.5 4l3.5 3.5-3.5 3.5"/>',
 'sun.max': circ(12,12,4,S)+f'<path {S} d="M12 2v2.5M12 19.5V22M2 12h2.5M19.5 12H22M4.9 4.9l1.8 1.8M17.3 17.3l1.8 1.8M4.9 19.1l1.8-1.8M17.3 6.7l1.8-1.8"/>',
 'moon': f'<path {S} d="M20 14.5A8.5 8.5 0 0 1 9.5 4a8.5 8.5 0 1 0 10.5 10.5z"/>',
 'plus': f'<path {S} d="M12 4.5v15M4.5 12h15"/>',
 'sidebar.left': f'<rect x="3" y="4" width="18" height="16" rx="2.5" {S}/><path {S} d="M9.5 4v16M5.5 8h1.5M5.5 11h1.5"/>',
 'sidebar.right': f'<rect x="3" y="4" width="18" height="16" rx="2.5" {S}/><path {S} d="M14.5 4v16M17 8h1.5M17 11h1.5"/>',
 'trash': f'<path {S} d="M4 6.5h16M9.5 6.5V4h5v2.5M6 6.5l1 13.5h10l1-13.5M10 10.5v6M14 10.5v6"/>',
 'paintpalette': f'<path {S} d="M12 3a9 9 0 1 0 0 18c1.2 0 1.8-.9 1.5-2-.3-1.2.4-2.3 1.7-2.3H18a3 3 0 0 0 3-3C21 7 17 3 12 3z"/>'+circ(7.5,11,1.3,F)+circ(10,7,1.3,F)+circ(15,7.5,1.3,F),
 'checkmark': f'<path {S} d="M4.5 12.5l5 5 10-11"/>',
 'checkmark.circle.fill': f''+circ(12,12,10,F+'')+'<path d="M7.5 12.5l3 3 6-6.5" stroke="#fff" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>',
 'checkmark.square.fill': f'<rect x="3" y="3" width="18" height="18" rx="4" {F}/><path d="M7.5 12.5l3 3 6-6.5" stroke="#fff" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>',
 'square': f'<rect x="4" y="4" width="16" height="16" rx="3.5" {S}/>',
 'chevron.up': f'<path {S} d="M6 15l6-6 6 6"/>',
 'chevron.down': f'<path {S} d="M6 9l6 6 6-6"/>',
 'chevron.left': f'<path {S} d="M15 6l-6 6 6 6"/>',
 'chevron.right': f'<path {S} d="M9 6l6 6-6 6"/>',
 'chevron.up.chevron.down': f'<path {S} d="M7.5 9.5L12 5l4.5 4.5M7.5 14.5L12 19l4.5-4.5"/>',
 'circle.fill': circ(12,12,9,F),
 'circle': circ(12,12,8.5,S),
 'circle.dotted': ''.join(circ(round(12+8.5*__import__('math').cos(a*3.14159/6),2), round(12+8.5*__import__('math').sin(a*3.14159/6),2), 1.2, F) for a in range(12)),
 'largecircle.fill.circle': circ(12,12,9.5,S)+circ(12,12,5,F),
 'command': f'<path {S} d="M9 9V6.5A2.5 2.5 0 1 0 6.5 9h11A2.5 2.5 0 1 0 15 6.5v11a2.5 2.5 0 1 0 2.5-2.5h-11A2.5 2.5 0 1 0 9 17.5z"/>',
 'doc.fill': f'<path {F} d="M6.5 2.5h7l5 5v12.5a1.5 1.5 0 0 1-1.5 1.5H6.5A1.5 1.5 0 0 1 5 20V4a1.5 1.5 0 0 1 1.5-1.5z"/>',
 'doc.text': f'<path {S} d="M6.5 3h7l4.5 4.5V20a1 1 0 0 1-1 1H6.5a1 1 0 0 1-1-1V4a1 1 0 0 1 1-1zM13.5 3v4.5H18M8.5 12h7M8.5 15.5h7M8.5 8.5h2.5"/>',
 'doc.on.doc': f'<path {S} d="M9 7h8.5a1.5 1.5 0 0 1 1.5 1.5v11a1.5 1.5 0 0 1-1.5 1.5H9a1.5 1.5 0 0 1-1.5-1.5v-11A1.5 1.5 0 0 1 9 7zM16 4H6A1.5 1.5 0 0 0 4.5 5.5V17"/>',
 'square.on.square': f'<rect x="8" y="8" width="12.5" height="12.5" rx="2" {S}/><path {S} d="M16 8V5.5a2 2 0 0 0-2-2H5.5a2 2 0 0 0-2 2V14a2 2 0 0 0 2 2H8"/>',
 'folder.fill': f'<path {F} d="M3 6.5A1.5 1.5 0 0 1 4.5 5h5l2 2.2h8A1.5 1.5 0 0 1 21 8.7V18a1.5 1.5 0 0 1-1.5 1.5h-15A1.5 1.5 0 0 1 3 18z"/>',
 'hand.raised': f'<path {S} d="M8 12V5.5a1.5 1.5 0 0 1 3 0V11M11 10V4a1.5 1.5 0 0 1 3 0v6M14 10V5.5a1.5 1.5 0 0 1 3 0V13M17 9a1.5 1.5 0 0 1 3 0v5.5c0 4-2.7 7-6.5 7-3 0-4.6-1.4-6-3.6L4.8 14c-.8-1.3.9-2.7 2-1.6L8 13.5"/>',
 'hand.raised.fill': f'<path {F} stroke="#000" stroke-width="1" stroke-linejoin="round" d="M8 12V5.5a1.5 1.5 0 0 1 3 0V4a1.5 1.5 0 0 1 3 0v1.5a1.5 1.5 0 0 1 3 0V9a1.5 1.5 0 0 1 3 0v5.5c0 4-2.7 7-6.5 7-3 0-4.6-1.4-6-3.6L4.8 14c-.8-1.3.9-2.7 2-1.6L8 13.5z"/>',
 'exclamationmark.triangle.fill': f'<path {F} d="M10.3 3.8a2 2 0 0 1 3.4 0l8 14A2 2 0 0 1 20 20.8H4a2 2 0 0 1-1.7-3z"/><path d="M12 9v4.5" stroke="#fff" stroke-width="2.2" stroke-linecap="round"/><circle cx="12" cy="17" r="1.3" fill="#fff"/>',
 'exclamationmark': '<path fill="none" stroke="#000" stroke-width="2.6" stroke-linecap="round" d="M12 4v10"/>'+circ(12,19.5,1.6,F),
 'questionmark.bubble.fill': f'<path {F} d="M12 2.5c5.2 0 9.5 3.4 9.5 7.8s-4.3 7.7-9.5 7.7c-.9 0-1.8-.1-2.7-.3L4 21l1.1-4.6C3.5 15 2.5 12.7 2.5 10.3 2.5 5.9 6.8 2.5 12 2.5z"/><path d="M9.6 8.8a2.5 2.5 0 1 1 3.3 2.4c-.6.2-.9.7-.9 1.3v.5" stroke="#fff" stroke-width="2" fill="none" stroke-linecap="round"/><circle cx="12" cy="15.5" r="1.2" fill="#fff"/>',
 'person.badge.key': circ(9,7.5,3.5,S)+f'<path {S} d="M2.5 20c0-3.6 2.9-6 6.5-6 1.3 0 2.5.3 3.5.9"/>'+circ(17,14,2.5,S)+f'<path {S} d="M17 16.5V21M17 19h2"/>',
 'gauge.with.dots.needle.50percent': f'<path {S} d="M3.5 17a8.5 8.5 0 1 1 17 0M12 17V10"/>'+circ(6.5,12,1,F)+circ(17.5,12,1,F)+circ(8.5,8,1,F)+circ(15.5,8,1,F)+circ(12,17,1.8,F),
 'wrench.and.screwdriver': f'<path {S} d="M14.5 6.5a4 4 0 0 0 5 5l-9 9a2 2 0 0 1-3-3l9-9a4 4 0 0 0-2-5zM4 4l2.5 1 4 4-1.5 1.5-4-4z"/>',
 'list.bullet.rectangle': f'<rect x="3" y="4" width="18" height="16" rx="2.5" {S}/><path {S} d="M10 9h7M10 12h7M10 15h7"/>'+circ(7,9,1,F)+circ(7,12,1,F)+circ(7,15,1,F),
 'checklist': f'<path {S} d="M3.5 6l1.5 1.5 3-3M3.5 12.5l1.5 1.5 3-3M3.5 19l1.5 1.5 3-3M11 6.5h9.5M11 13h9.5M11 19.5h9.5"/>',
 'brain': f'<path {S} d="M12 5v14M12 5.5a3 3 0 0 0-5.5-1 3 3 0 0 0-2.5 4 3.5 3.5 0 0 0 0 6 3 3 0 0 0 3 4.5 2.8 2.8 0 0 0 5 0M12 5.5a3 3 0 0 1 5.5-1 3 3 0 0 1 2.5 4 3.5 3.5 0 0 1 0 6 3 3 0 0 1-3 4.5 2.8 2.8 0 0 1-5 0"/>',
 'bolt': f'<path {F} d="M13.5 2L5 13.5h6L10 22l9-12h-6z"/>',
 'terminal': f'<rect x="2.5" y="4" width="19" height="16" rx="2.5" {S}/><path {S} d="M6.5 9l3 3-3 3M12 15.5h5"/>',
 'cpu': f'<rect x="6" y="6" width="12" height="12" rx="2" {S}/><rect x="9.5" y="9.5" width="5" height="5" {F}/><path {S} d="M9.5 2.5V6M14.5 2.5V6M9.5 18v3.5M14.5 18v3.5M2.5 9.5H6M2.5 14.5H6M18 9.5h3.5M18 14.5h3.5"/>',
}
os.makedirs(out, exist_ok=True)
for name, body in icons.items():
    with open(os.path.join(out, name + '.svg'), 'w') as f:
        f.write(svg(body))
print(len(icons))
