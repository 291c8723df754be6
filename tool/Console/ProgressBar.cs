// The progress bar drawn on a terminal: the bar's cells and its percentage.
namespace tool
{
    public static class ProgressBar
    {
        /// <summary>
        /// Draws the bar on the terminal's cursor row: "|" at left + 1, 31
        /// cells from left + 2 to left + 32, "|" at left + 33 and "value%"
        /// from left + 35. The first cells are shaded on white in proportion
        /// to value / total, the rest blank on black. Callers pass a total
        /// above 0 and a value from 0 to the total.
        /// </summary>
        public static void Draw(ITerminal terminal, int left, int value, int total)
        {
            terminal.SetCursorVisible(false);
            terminal.MoveToColumn(left + 1);
            terminal.Write("|");
            terminal.MoveToColumn(left + 33);
            terminal.Write("|");

            // Single precision on purpose: 30 / 100 rounds to slightly above
            // 0.3, so a full bar fills all 31 cells.
            float ratio = (float)(30.0f / (float)total);
            double filled = (double)ratio * value;
            int f = 0;
            while (f < filled)
            {
                terminal.SetBackground(15);
                terminal.MoveToColumn(left + 2 + f);
                terminal.Write("\u2592");
                f++;
            }
            for (int column = left + 2 + f; column <= left + 32; column++)
            {
                terminal.SetBackground(0);
                terminal.MoveToColumn(column);
                terminal.Write(" ");
            }

            terminal.MoveToColumn(left + 35);
            terminal.SetBackground(0);
            terminal.Write(value + "%");
            terminal.SetCursorVisible(true);
        }
    }
}
