// The PTZ pad: eight direction buttons; pressing one starts the camera's movement, releasing
// it stops it. The command numbers per direction are the control's own cursor table.

// Directions 1..8 of the 3 x 3 grid without its centre, row by row.
const kDirections = [
  {direction: 1, label: '\u2196', name: 'up-left'},
  {direction: 2, label: '\u2191', name: 'up'},
  {direction: 3, label: '\u2197', name: 'up-right'},
  {direction: 4, label: '\u2190', name: 'left'},
  null,
  {direction: 5, label: '\u2192', name: 'right'},
  {direction: 6, label: '\u2199', name: 'down-left'},
  {direction: 7, label: '\u2193', name: 'down'},
  {direction: 8, label: '\u2198', name: 'down-right'},
];

// Command number of each direction, by the control's QuviMode.
const kCommands = {
  standard: [19, 0, 20, 2, 3, 21, 1, 22],
  quvi: [19, 12, 13, 18, 14, 17, 16, 15],
};

export function ptzCommand(direction, quviMode) {
  return (quviMode ? kCommands.quvi : kCommands.standard)[direction - 1];
}

// Builds the pad into `container`. `onPress(direction)` and `onRelease(direction)` are called
// once per press, whatever ends it (pointer up or cancelled, key up, focus lost).
export function buildPtzPad(container, onPress, onRelease) {
  for (const d of kDirections) {
    if (!d) {
      const centre = document.createElement('span');
      centre.className = 'ptz-centre';
      container.append(centre);
      continue;
    }
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'ptz';
    button.dataset.direction = d.name;
    button.textContent = d.label;
    button.title = 'PTZ ' + d.name + ' (hold)';
    let pressed = false;
    const press = () => {
      if (pressed) return;
      pressed = true;
      button.classList.add('held');
      onPress(d.direction);
    };
    const release = () => {
      if (!pressed) return;
      pressed = false;
      button.classList.remove('held');
      onRelease(d.direction);
    };
    button.addEventListener('pointerdown', (e) => {
      if (e.button !== 0) return;
      button.setPointerCapture(e.pointerId);
      press();
    });
    button.addEventListener('pointerup', release);
    button.addEventListener('pointercancel', release);
    button.addEventListener('lostpointercapture', release);
    button.addEventListener('keydown', (e) => {
      if ((e.key === ' ' || e.key === 'Enter') && !e.repeat) {
        e.preventDefault();
        press();
      }
    });
    button.addEventListener('keyup', (e) => {
      if (e.key === ' ' || e.key === 'Enter') release();
    });
    button.addEventListener('blur', release);
    container.append(button);
  }
}
