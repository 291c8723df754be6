// What the progress bar needs of a console.
namespace tool
{
    /// <summary>
    /// What the progress bar needs of a console: text at the cursor, moving
    /// the cursor to a column of its current row, cursor visibility and the
    /// background colour by index of the 16-colour palette (0 black, 15 white),
    /// and going back to the colours the user had once a bar is finished.
    /// </summary>
    public interface ITerminal
    {
        void Write(string text);
        void MoveToColumn(int column);
        void SetCursorVisible(bool visible);
        void SetBackground(int colour);
        void ResetColours();
    }
}
