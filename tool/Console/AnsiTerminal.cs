// A Unix terminal for the progress bar, driven by escape sequences.
using System.Text;

namespace tool
{
    /// <summary>
    /// A Unix terminal driven by escape sequences written with the tool's
    /// other output. The cursor position is never asked for: moves are to a
    /// column of the current row only.
    /// </summary>
    public sealed class AnsiTerminal : ITerminal
    {
        private const string Csi = "\u001b[";

        public void Write(string text)
        {
            ConsoleOut.Write(text);
        }

        public void MoveToColumn(int column)
        {
            ConsoleOut.Write(MoveSequence(column));
        }

        public void SetCursorVisible(bool visible)
        {
            ConsoleOut.Write(visible ? Csi + "?25h" : Csi + "?25l");
        }

        public void SetBackground(int colour)
        {
            ConsoleOut.Write(BackgroundSequence(colour));
        }

        /// <summary>
        /// The terminal's own default background: black is not what every
        /// terminal shows behind text, and later lines must stay readable.
        /// </summary>
        public void ResetColours()
        {
            ConsoleOut.Write(Csi + "49m");
        }

        /// <summary>Columns count from 0 here and from 1 in the sequence.</summary>
        public static string MoveSequence(int column)
        {
            return Csi + (column + 1) + "G";
        }

        /// <summary>
        /// The palette index has blue in bit 0, green in bit 1, red in bit 2
        /// and brightness in bit 3; the escape colours have red and blue the
        /// other way round, and the bright ones are 100 to 107.
        /// </summary>
        public static string BackgroundSequence(int colour)
        {
            int rgb = ((colour & 1) << 2) | (colour & 2) | ((colour & 4) >> 2);
            int code = ((colour & 8) != 0 ? 100 : 40) + rgb;
            var s = new StringBuilder(Csi);
            s.Append(code).Append('m');
            return s.ToString();
        }
    }
}
