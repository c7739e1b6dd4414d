# Draws docs/performance.png from the benchmark's plot data. bench/run passes data and output, and
# panels: 1 for the id list alone, 2 for the id list and remove all. Block 0 of the data is the id list,
# block 1 remove all; columns: applications, median, lower and upper quartile, floor (ms).
set terminal pngcairo size 1200,520 font "DejaVu Sans,10"
set output output
set multiplot layout 1,panels title "Quillet under Wine: cost against the number of applications"
set logscale x
set grid
set key top left
set xlabel "applications"
set ylabel "milliseconds (median, bars: quartiles)"

set title "application getIdList"
set yrange [0:*]
plot data index 0 using 1:2:3:4 with yerrorlines lw 2 title "Quillet", \
     data index 0 using 1:5 with linespoints dt 2 title "floor"

if (panels > 1) {
    set logscale y
    set yrange [*:*]
    set title "application remove all"
    plot data index 1 using 1:2:3:4 with yerrorlines lw 2 title "Quillet", \
         data index 1 using 1:5 with linespoints dt 2 title "floor"
}
unset multiplot
