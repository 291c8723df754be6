// The Windows console for the progress bar, through the runtime's console calls.
using System;

namespace tool
{
    /// <summary>
    /// The Windows console, through the runtime's console calls. Text goes
    /// through the tool's console output like every other text. A console
    /// that refuses a call (too narrow, gone away) leaves the bar incomplete
    /// but never stops the work.
    /// </summary>
    public sealed class WindowsConsoleTerminal : ITerminal
    {
        public void Write(string text)
        {
            ConsoleOut.Write(text);
        }

        public void MoveToColumn(int column)
        {
            try
            {
                if (column < Console.BufferWidth) Console.CursorLeft = column;
            }
            catch (Exception) { }
        }

        public void SetCursorVisible(bool visible)
        {
            try { Console.CursorVisible = visible; }
            catch (Exception) { }
        }

        public void ResetColours()
        {
            try { Console.ResetColor(); }
            catch (Exception) { }
        }

        public void SetBackground(int colour)
        {
            try { Console.BackgroundColor = (ConsoleColor)(colour & 15); }
            catch (Exception) { }
        }
    }
}
