// The terminal of an output that is no console: the bar draws nothing.
namespace tool
{
    /// <summary>
    /// Output that is not a console (a file, a pipe, silent mode): there is
    /// no cursor or colour to act on, so the bar draws nothing. The label and
    /// the closing line break still come through the console output.
    /// </summary>
    public sealed class PlainTerminal : ITerminal
    {
        public void Write(string text) { }
        public void MoveToColumn(int column) { }
        public void SetCursorVisible(bool visible) { }
        public void SetBackground(int colour) { }
        public void ResetColours() { }
    }
}
