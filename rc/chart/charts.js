/*
 * The chart script of the analysis pages: draws a pie or a column chart as SVG into a container element.
 * It offers what the chart pages call and nothing more: new Highcharts.Chart(options), chart.setSize,
 * chart.series[i].data, chart.legend.destroy and chart.legend.render, with the options they set.
 *
 * Names and figures come from the user's book, so every text drawn here goes in as text (textContent), never as
 * markup. Only the chart title and the tooltip's point format, which the page itself writes, may hold <b> and <br>.
 */
(function (window, document) {
    'use strict';

    var SVG_NS = 'http://www.w3.org/2000/svg';
    var COLORS = ['#1f7a8c', '#e07a5f', '#3d5a80', '#81b29a', '#f2b134', '#9c6644', '#6d597a', '#b56576', '#52796f',
        '#e9c46a', '#457b9d', '#c9ada7'];
    var FONT = '"Noto Sans CJK SC", "WenQuanYi Zen Hei", sans-serif';
    // The most of the chart's width a legend beside columns takes, and the least of the chart's smaller side the pie
    // takes across: long names give up their room before the pie does.
    var LEGEND_SHARE = 0.25;
    var PIE_SHARE = 0.4;
    // What a legend item takes besides its text (padding and colour square), and what a pie label takes besides its
    // text beyond the pie's edge (connector and gap).
    var LEGEND_FRAME = 42;
    var LABEL_GAP = 29;

    var DEFAULTS = {
        chart: {renderTo: null, type: 'line', plotBackgroundColor: null, plotBorderWidth: 0, plotShadow: false},
        title: {text: ''},
        subtitle: {text: ''},
        xAxis: {categories: []},
        yAxis: {min: null, title: {text: ''}},
        legend: {enabled: true, layout: 'horizontal', align: 'center', verticalAlign: 'bottom', margin: 15,
            itemMarginBottom: 0, floating: false, backgroundColor: null, shadow: false, labelFormatter: null},
        tooltip: {pointFormat: '{series.name}: <b>{point.y}</b>', percentageDecimals: 1, formatter: null},
        plotOptions: {
            pie: {allowPointSelect: false, cursor: null, showInLegend: false,
                dataLabels: {enabled: true, color: '#000000', connectorColor: '#000000', percentageDecimals: 1,
                    style: {fontSize: '12px'}, formatter: null}},
            column: {pointPadding: 0.1, groupPadding: 0.2, borderWidth: 1}
        },
        series: []
    };

    function isObject(value) {
        return value !== null && typeof value === 'object' && !Array.isArray(value) && !(value instanceof Node);
    }

    // A deep copy of the defaults with the given options laid over them; arrays and functions are taken as given.
    function merge(base, over) {
        var out = {};
        var key;
        for (key in base)
            out[key] = isObject(base[key]) ? merge(base[key], {}) : base[key];
        for (key in over || {}) {
            if (isObject(over[key]) && isObject(out[key]))
                out[key] = merge(out[key], over[key]);
            else
                out[key] = over[key];
        }
        return out;
    }

    function svg(name, attributes, parent) {
        var node = document.createElementNS(SVG_NS, name);
        for (var key in attributes || {}) {
            if (attributes[key] !== null && attributes[key] !== undefined)
                node.setAttribute(key, attributes[key]);
        }
        if (parent)
            parent.appendChild(node);
        return node;
    }

    function plainText(parent, text, x, y, attributes) {
        var node = svg('text', merge({x: x, y: y, 'font-family': FONT, 'font-size': '12px', fill: '#333333'},
            attributes), parent);
        node.textContent = String(text);
        return node;
    }

    // Text written by the page itself, with <b>, </b> and <br> taken as markup and everything else as text.
    // Values for {placeholders} are put in after the markup is read, so they can never become markup.
    function richText(parent, format, values, x, y, attributes) {
        var node = svg('text', merge({x: x, y: y, 'font-family': FONT, 'font-size': '12px', fill: '#333333'},
            attributes), parent);
        var bold = false;
        var newLine = false;
        String(format).split(/(<b>|<\/b>|<br\s*\/?>)/i).forEach(function (token) {
            var lower = token.toLowerCase();
            if (lower === '<b>' || lower === '</b>') {
                bold = lower === '<b>';
            } else if (/^<br/.test(lower)) {
                newLine = true;
            } else if (token.length) {
                var span = svg('tspan', {'font-weight': bold ? 'bold' : null}, node);
                if (newLine) {
                    span.setAttribute('x', x);
                    span.setAttribute('dy', '1.3em');
                    newLine = false;
                }
                span.textContent = token.replace(/\{([\w.]+)\}/g, function (all, key) {
                    return key in values ? String(values[key]) : all;
                });
            }
        });
        return node;
    }

    // The item seen with another name, for a formatter that reads this.name or this.point.name.
    function renamed(item, name) {
        var view = Object.create(item);
        view.name = name;
        return view;
    }

    // Widths for texts that need `needs`, all within `room`: each gets what it needs while the room lasts, and those
    // that need more than an even part of what is left are cut to that same part.
    function share(needs, room) {
        var sorted = needs.slice().sort(function (a, b) {
            return a - b;
        });
        var cap = Infinity;
        var left = room;
        for (var i = 0; i < sorted.length; ++i) {
            var even = left / (sorted.length - i);
            if (sorted[i] > even) {
                cap = Math.max(even, 0);
                break;
            }
            left -= sorted[i];
        }
        return needs.map(function (need) {
            return Math.min(need, cap);
        });
    }

    function box(node) {
        try {
            return node.getBBox();
        } catch (e) {
            return {x: 0, y: 0, width: 0, height: 0};
        }
    }

    // A round step of about a fifth of the range, and the axis top as a multiple of it.
    function niceAxis(low, high) {
        if (!(high > low))
            high = low + 1;
        var raw = (high - low) / 5;
        var magnitude = Math.pow(10, Math.floor(Math.log(raw) / Math.LN10));
        var step = magnitude;
        [1, 2, 2.5, 5, 10].some(function (m) {
            step = m * magnitude;
            return step >= raw;
        });
        return {min: low, max: Math.ceil(high / step - 1e-9) * step, step: step};
    }

    function Point(series, data, index) {
        if (Array.isArray(data)) {
            this.name = data.length > 1 ? String(data[0]) : String(index);
            this.y = Number(data.length > 1 ? data[1] : data[0]);
        } else {
            this.name = String(index);
            this.y = Number(data);
        }
        this.series = series;
        this.index = index;
        this.color = COLORS[index % COLORS.length];
        this.percentage = 0;
        this.selected = false;
    }

    function Series(chart, options, index) {
        this.chart = chart;
        this.options = options;
        this.name = options.name === undefined ? 'Series ' + (index + 1) : String(options.name);
        this.type = options.type || chart.options.chart.type;
        this.index = index;
        this.color = COLORS[index % COLORS.length];
        var self = this;
        this.data = (options.data || []).map(function (d, i) {
            return new Point(self, d, i);
        });
        this.points = this.data;
        // A share is the point's part of the signed sum, so expense sums (all negative) still give positive shares.
        var sum = 0;
        this.data.forEach(function (p) {
            sum += p.y;
        });
        this.data.forEach(function (p) {
            p.percentage = sum !== 0 ? p.y / sum * 100 : 0;
        });
    }

    function Legend(chart) {
        this.chart = chart;
        this.options = chart.options.legend;
        this.group = null;
        this.width = 0;
        this.height = 0;
    }

    Legend.prototype.items = function () {
        var chart = this.chart;
        var items = [];
        chart.series.forEach(function (series) {
            if (series.type === 'pie') {
                if (chart.options.plotOptions.pie.showInLegend)
                    items = items.concat(series.data);
            } else {
                items.push(series);
            }
        });
        return items;
    };

    Legend.prototype.destroy = function () {
        if (this.group && this.group.parentNode)
            this.group.parentNode.removeChild(this.group);
        this.group = null;
    };

    // An item's text in the legend with the item seen under the given name.
    Legend.prototype.text = function (item, name) {
        var formatter = this.options.labelFormatter;
        var text = formatter ? formatter.call(renamed(item, name)) : name;
        return text === null || text === undefined ? '' : String(text);
    };

    // Draws the legend at its place in the chart's current layout; the items get their legendItem again.
    Legend.prototype.render = function () {
        var chart = this.chart;
        var options = this.options;
        this.destroy();
        if (!chart.root || !options.enabled)
            return;
        var items = this.items();
        var group = svg('g', {'class': 'qb-legend'}, chart.root);
        var background = svg('rect', {rx: 4, ry: 4, fill: options.backgroundColor || 'none'}, group);
        var vertical = options.layout === 'vertical';
        var x = 8;
        var y = 8;
        var line = 18;
        var layout = chart.layout;
        var room = layout && layout.legend !== null ? layout.legend : chart.chartWidth * LEGEND_SHARE - LEGEND_FRAME;
        var self = this;
        items.forEach(function (item) {
            var entry = svg('g', {'class': 'qb-legend-item'}, group);
            svg('rect', {x: x, y: y + 2, width: 12, height: 12, rx: 2, fill: item.color}, entry);
            item.legendItem = chart.fittedText(entry, function (name) {
                return self.text(item, name);
            }, item.name, room, x + 18, y + 12);
            var width = box(entry).width;
            if (vertical) {
                y += line + (options.itemMarginBottom || 0);
            } else {
                x += width + 20;
            }
        });
        var size = box(group);
        this.width = size.width + 16;
        this.height = size.height + 16;
        background.setAttribute('width', this.width);
        background.setAttribute('height', this.height);
        background.setAttribute('x', 0);
        background.setAttribute('y', 0);
        if (options.shadow) {
            var shadow = svg('rect', {x: 2, y: 2, rx: 4, ry: 4, width: this.width, height: this.height,
                fill: 'rgba(0,0,0,0.12)'}, null);
            group.insertBefore(shadow, background);
        }
        var left = options.align === 'right' ? chart.chartWidth - this.width - 10 :
            options.align === 'left' ? 10 : (chart.chartWidth - this.width) / 2;
        var top = options.verticalAlign === 'top' ? chart.titleBottom + 5 :
            options.verticalAlign === 'bottom' ? chart.chartHeight - this.height - 5 : (chart.chartHeight - this.height) / 2;
        group.setAttribute('transform', 'translate(' + left + ',' + top + ')');
        this.top = top;
        this.group = group;
    };

    function Tooltip(chart) {
        this.chart = chart;
        this.group = null;
    }

    Tooltip.prototype.open = function (color) {
        this.hide();
        this.group = svg('g', {'class': 'qb-tooltip', 'pointer-events': 'none'}, this.chart.root);
        this.background = svg('rect', {rx: 3, ry: 3, fill: 'rgba(255,255,255,0.92)', stroke: color}, this.group);
        return this.group;
    };

    // Sizes the background to what was drawn and puts the tooltip beside the mouse, inside the chart.
    Tooltip.prototype.place = function (event) {
        var chart = this.chart;
        var size = box(this.group);
        this.background.setAttribute('width', size.width + 16);
        this.background.setAttribute('height', size.height + 12);
        var bounds = chart.root.getBoundingClientRect();
        var left = Math.min(event.clientX - bounds.left + 12, chart.chartWidth - size.width - 20);
        var top = Math.max(event.clientY - bounds.top - size.height - 16, 0);
        this.group.setAttribute('transform', 'translate(' + Math.max(left, 0) + ',' + top + ')');
    };

    Tooltip.prototype.showText = function (text, event) {
        plainText(this.open('#999999'), text, 8, 18);
        this.place(event);
    };

    Tooltip.prototype.show = function (point, event) {
        var options = this.chart.options.tooltip;
        var group = this.open(point.color);
        var text;
        if (options.formatter) {
            var context = {x: point.category, y: point.y, percentage: point.percentage, series: point.series, point: point};
            text = plainText(group, options.formatter.call(context), 8, 18);
        } else {
            plainText(group, point.name, 8, 16, {'font-size': '10px'});
            text = richText(group, options.pointFormat, {
                'series.name': point.series.name,
                'point.y': point.y,
                'point.name': point.name,
                'point.percentage': point.percentage.toFixed(options.percentageDecimals)
            }, 8, 34);
        }
        this.place(event);
        return text;
    };

    Tooltip.prototype.hide = function () {
        if (this.group && this.group.parentNode)
            this.group.parentNode.removeChild(this.group);
        this.group = null;
    };

    function Chart(options) {
        this.options = merge(DEFAULTS, options);
        var renderTo = this.options.chart.renderTo;
        this.container = typeof renderTo === 'string' ? document.getElementById(renderTo) : renderTo;
        // The page sizes the chart to the window; a scroll bar, shown for a moment while a larger chart is still
        // drawn, would take its width from the window's and leave the chart too narrow.
        document.documentElement.style.overflow = 'hidden';
        this.chartWidth = this.options.chart.width || this.container.offsetWidth || 600;
        this.chartHeight = this.options.chart.height || this.container.offsetHeight || 400;
        var self = this;
        this.series = (this.options.series || []).map(function (s, i) {
            return new Series(self, s, i);
        });
        this.legend = new Legend(this);
        this.tooltip = new Tooltip(this);
        this.render();
    }

    // Draws the chart at the new size; the animation argument is accepted and ignored, nothing is animated.
    Chart.prototype.setSize = function (width, height) {
        this.chartWidth = Math.max(Number(width) || 0, 50);
        this.chartHeight = Math.max(Number(height) || 0, 50);
        this.render();
    };

    Chart.prototype.render = function () {
        var options = this.options;
        while (this.container.firstChild)
            this.container.removeChild(this.container.firstChild);
        this.root = svg('svg', {width: this.chartWidth, height: this.chartHeight, 'class': 'qb-chart',
            xmlns: SVG_NS}, this.container);
        this.root.style.display = 'block';
        svg('rect', {x: 0, y: 0, width: this.chartWidth, height: this.chartHeight, fill: '#ffffff'}, this.root);
        var title = richText(this.root, options.title.text, {}, this.chartWidth / 2, 26,
            {'class': 'qb-title', 'text-anchor': 'middle', 'font-size': '16px', fill: '#274b5c'});
        this.titleBottom = options.title.text ? box(title).y + box(title).height + 8 : 10;

        var legend = options.legend;
        var beside = legend.enabled && !legend.floating && legend.layout === 'vertical' && legend.align === 'right';
        this.layout = this.pieLayout(beside);
        this.legend.render();
        var below = this.layout && this.layout.top !== null;
        var reserve = beside && !below ? this.legend.width + (legend.margin || 0) : 0;
        var top = below ? this.layout.top : this.titleBottom + 10;
        this.plot = {x: 10, y: top, width: this.chartWidth - 20 - reserve, height: this.chartHeight - top - 10};
        var chartOptions = options.chart;
        if (chartOptions.plotBackgroundColor || chartOptions.plotBorderWidth) {
            svg('rect', {x: this.plot.x, y: this.plot.y, width: this.plot.width, height: this.plot.height,
                fill: chartOptions.plotBackgroundColor || 'none', stroke: '#c0c0c0',
                'stroke-width': chartOptions.plotBorderWidth || 0}, this.root);
        }
        var self = this;
        var plotLayer = svg('g', {'class': 'qb-plot'}, this.root);
        this.series.forEach(function (series) {
            if (series.type === 'pie')
                self.drawPie(series, plotLayer);
        });
        var columns = this.series.filter(function (series) {
            return series.type === 'column';
        });
        if (columns.length)
            this.drawColumns(columns, plotLayer);
        // The legend stays on top of the plot, which matters for a floating legend.
        if (this.legend.group)
            this.root.appendChild(this.legend.group);
    };

    // While the mouse is over the node the tooltip shows the point, or the text when a text is given.
    Chart.prototype.hover = function (node, point) {
        var tooltip = this.tooltip;
        node.addEventListener('mousemove', function (event) {
            if (typeof point === 'string')
                tooltip.showText(point, event);
            else
                tooltip.show(point, event);
        });
        node.addEventListener('mouseleave', function () {
            tooltip.hide();
        });
    };

    // Draws the text that make(name) gives for a name, at most `width` wide: a name too long for it is cut with "…",
    // and the whole text shows on hover.
    Chart.prototype.fittedText = function (parent, make, name, width, x, y, attributes) {
        var whole = String(make(name));
        var node = plainText(parent, whole, x, y, attributes);
        if (box(node).width <= width)
            return node;
        var letters = Array.from(name);
        var cut = function (length) {
            return String(make(letters.slice(0, length).join('') + '\u2026'));
        };
        var low = 0;
        var high = letters.length - 1;
        while (low < high) {
            var middle = Math.ceil((low + high) / 2);
            node.textContent = cut(middle);
            if (box(node).width <= width)
                low = middle;
            else
                high = middle - 1;
        }
        node.textContent = cut(low);
        this.hover(node, whole);
        return node;
    };

    function arcPath(cx, cy, r, start, end) {
        if (end - start >= 2 * Math.PI - 1e-6) {
            return ['M', cx, cy - r, 'A', r, r, 0, 1, 1, cx - 0.01, cy - r, 'Z'].join(' ');
        }
        var x1 = cx + r * Math.cos(start);
        var y1 = cy + r * Math.sin(start);
        var x2 = cx + r * Math.cos(end);
        var y2 = cy + r * Math.sin(end);
        return ['M', cx, cy, 'L', x1, y1, 'A', r, r, 0, end - start > Math.PI ? 1 : 0, 1, x2, y2, 'Z'].join(' ');
    }

    // The slices of a pie series that have a value, in order, with their angles, the side of the pie their label
    // stands on and the label's text (null for none).
    Chart.prototype.pieSlices = function (series) {
        var labels = this.options.plotOptions.pie.dataLabels;
        var whole = 0;
        series.data.forEach(function (point) {
            whole += Math.abs(point.y);
        });
        var angle = -Math.PI / 2;
        var self = this;
        return series.data.filter(function (point) {
            return point.y !== 0;
        }).map(function (point) {
            // Slices are as large as their amounts; the sign only shows in the figures.
            var sweep = Math.abs(point.y) / whole * 2 * Math.PI;
            var slice = {point: point, start: angle, sweep: sweep, middle: angle + sweep / 2,
                label: labels.enabled ? self.pieLabel(series, point, point.name) : null};
            slice.side = Math.cos(slice.middle) >= 0 ? 'right' : 'left';
            angle += sweep;
            return slice;
        });
    };

    Chart.prototype.pieLabel = function (series, point, name) {
        var formatter = this.options.plotOptions.pie.dataLabels.formatter;
        var context = {point: renamed(point, name), y: point.y, percentage: point.percentage, series: series};
        var text = formatter ? formatter.call(context) : name;
        return text === null || text === undefined || text === false || text === '' ? null : String(text);
    };

    Chart.prototype.textWidth = function (text, attributes) {
        var probe = plainText(this.root, text, 0, 0, attributes);
        var width = box(probe).width;
        this.root.removeChild(probe);
        return width;
    };

    // How a pie chart shares its width: the pie keeps its least size, and the labels on its two sides and the
    // legend beside it take the rest, each text whole while the room lasts. Texts that this cuts may stand whole with
    // the pie below the legend, which then has the chart's whole width, when the pie keeps its least size there.
    // The gap is what each side's connectors take. Null for a chart without a pie.
    Chart.prototype.pieLayout = function (legendBeside) {
        var pie = this.series.filter(function (series) {
            return series.type === 'pie';
        })[0];
        if (!pie)
            return null;
        var self = this;
        var fontSize = this.options.plotOptions.pie.dataLabels.style.fontSize;
        var widest = {left: 0, right: 0};
        // A side with labels gives their connectors room too.
        var gap = {left: 0, right: 0};
        this.pieSlices(pie).forEach(function (slice) {
            if (slice.label === null)
                return;
            gap[slice.side] = LABEL_GAP;
            widest[slice.side] = Math.max(widest[slice.side], self.textWidth(slice.label, {'font-size': fontSize}));
        });
        var legendText = 0;
        if (legendBeside) {
            this.legend.items().forEach(function (item) {
                legendText = Math.max(legendText, self.textWidth(self.legend.text(item, item.name)));
            });
        }
        var least = Math.min(this.chartWidth, this.chartHeight) * PIE_SHARE;
        var labelsRoom = this.chartWidth - 20 - least - gap.left - gap.right;
        var legendFrame = LEGEND_FRAME + (this.options.legend.margin || 0);
        var rooms = share([widest.left, widest.right, legendText], labelsRoom - (legendBeside ? legendFrame : 0));
        var beside = {left: rooms[0], right: rooms[1], legend: legendBeside ? rooms[2] : null, top: null, gap: gap};
        if (!legendBeside || (rooms[0] === widest.left && rooms[1] === widest.right && rooms[2] === legendText))
            return beside;
        this.layout = {legend: Math.min(legendText, this.chartWidth - 20 - LEGEND_FRAME)};
        this.legend.render();
        // The labels over the pie reach a little above the plot's top edge.
        var top = this.legend.top + this.legend.height + 20;
        if ((this.chartHeight - top - 10) / 2 - 20 < least / 2)
            return beside;
        rooms = share([widest.left, widest.right], labelsRoom);
        return {left: rooms[0], right: rooms[1], legend: this.layout.legend, top: top, gap: gap};
    };

    Chart.prototype.drawPie = function (series, layer) {
        var pieOptions = this.options.plotOptions.pie;
        var plot = this.plot;
        var group = svg('g', {'class': 'qb-pie'}, layer);
        var slices = this.pieSlices(series);
        var left = this.layout.gap.left + this.layout.left;
        var right = this.layout.gap.right + this.layout.right;
        // The room the labels leave makes the pie larger, up to the plot's height; what is still left is shared out
        // on both sides of the pie and its labels.
        var least = Math.min(this.chartWidth, this.chartHeight) * PIE_SHARE / 2;
        var spare = Math.max(plot.width - left - right - 2 * least, 0);
        var radius = Math.max(least, Math.min(plot.height / 2 - 20, least + spare / 2));
        var cx = plot.x + left + radius + Math.max(spare - 2 * (radius - least), 0) / 2;
        var cy = plot.y + plot.height / 2;
        if (!slices.length) {
            svg('circle', {cx: cx, cy: cy, r: radius, fill: 'none', stroke: '#d0d0d0', 'class': 'qb-pie-empty'}, group);
            return;
        }
        var self = this;
        slices.forEach(function (item) {
            var point = item.point;
            var middle = item.middle;
            var slice = svg('path', {d: arcPath(cx, cy, radius, item.start, item.start + item.sweep), fill: point.color,
                stroke: '#ffffff', 'stroke-width': 1, 'class': 'qb-slice'}, group);
            if (pieOptions.cursor)
                slice.style.cursor = pieOptions.cursor;
            point.graphic = slice;
            if (pieOptions.allowPointSelect) {
                slice.addEventListener('click', function () {
                    point.selected = !point.selected;
                    var offset = point.selected ? 10 : 0;
                    slice.setAttribute('transform',
                        'translate(' + offset * Math.cos(middle) + ',' + offset * Math.sin(middle) + ')');
                });
            }
            self.hover(slice, point);
        });
        this.drawPieLabels(series, slices.filter(function (slice) {
            return slice.label !== null;
        }), group, cx, cy, radius);
    };

    // Labels sit outside the pie on a connector, each side spread downwards so that no two overlap.
    Chart.prototype.drawPieLabels = function (series, slices, group, cx, cy, radius) {
        var self = this;
        var options = this.options.plotOptions.pie.dataLabels;
        var lineHeight = parseFloat(options.style.fontSize || '12') + 4;
        ['left', 'right'].forEach(function (side) {
            var list = slices.filter(function (slice) {
                return slice.side === side;
            }).map(function (slice) {
                slice.y = cy + (radius + 20) * Math.sin(slice.middle);
                return slice;
            }).sort(function (a, b) {
                return a.y - b.y;
            });
            for (var i = 1; i < list.length; ++i)
                list[i].y = Math.max(list[i].y, list[i - 1].y + lineHeight);
            list.forEach(function (item) {
                var edgeX = cx + radius * Math.cos(item.middle);
                var edgeY = cy + radius * Math.sin(item.middle);
                var textX = cx + (radius + 25) * (side === 'right' ? 1 : -1);
                svg('path', {d: ['M', edgeX, edgeY, 'L', textX, item.y].join(' '), fill: 'none',
                    stroke: options.connectorColor, 'stroke-width': 1, 'class': 'qb-connector'}, group);
                self.fittedText(group, function (name) {
                    return self.pieLabel(series, item.point, name);
                }, item.point.name, self.layout[side], textX + (side === 'right' ? 4 : -4), item.y + 4, {
                    'class': 'qb-data-label', fill: options.color, 'font-size': options.style.fontSize,
                    'text-anchor': side === 'right' ? 'start' : 'end'
                });
            });
        });
    };

    Chart.prototype.drawColumns = function (list, layer) {
        var options = this.options;
        var columnOptions = options.plotOptions.column;
        var categories = options.xAxis.categories || [];
        var count = categories.length;
        var high = -Infinity;
        var low = Infinity;
        list.forEach(function (series) {
            count = Math.max(count, series.data.length);
            series.data.forEach(function (p) {
                high = Math.max(high, p.y);
                low = Math.min(low, p.y);
            });
        });
        var axisMin = options.yAxis.min !== null && options.yAxis.min !== undefined ? options.yAxis.min : Math.min(low, 0);
        var axis = niceAxis(axisMin, high === -Infinity ? axisMin : high);
        var group = svg('g', {'class': 'qb-columns'}, layer);

        var widest = 0;
        var tickLabels = [];
        for (var value = axis.min; value <= axis.max + axis.step / 2; value += axis.step) {
            var tick = plainText(group, +value.toFixed(6), 0, 0, {'class': 'qb-tick', 'text-anchor': 'end', fill: '#666666'});
            widest = Math.max(widest, box(tick).width);
            tickLabels.push({node: tick, value: value});
        }
        var plot = {x: this.plot.x + widest + 10, y: this.plot.y + 10, width: this.plot.width - widest - 20,
            height: this.plot.height - 40};
        var scale = function (v) {
            var clamped = Math.min(Math.max(v, axis.min), axis.max);
            return plot.y + plot.height - (clamped - axis.min) / (axis.max - axis.min) * plot.height;
        };
        tickLabels.forEach(function (tick) {
            var y = scale(tick.value);
            tick.node.setAttribute('x', plot.x - 6);
            tick.node.setAttribute('y', y + 4);
            svg('line', {x1: plot.x, x2: plot.x + plot.width, y1: y, y2: y, stroke: '#e4e4e4', 'class': 'qb-grid'}, group);
        });

        var slot = count ? plot.width / count : plot.width;
        var inner = slot * (1 - (columnOptions.groupPadding || 0));
        var barSlot = inner / list.length;
        var barWidth = Math.max(barSlot * (1 - 2 * columnOptions.pointPadding), 1);
        var labelStep = 1;
        var self = this;
        for (var c = 0; c < count; ++c) {
            var name = c < categories.length ? categories[c] : c;
            var label = plainText(group, name, plot.x + slot * (c + 0.5), plot.y + plot.height + 18,
                {'class': 'qb-category', 'text-anchor': 'middle', fill: '#666666'});
            if (c === 0)
                labelStep = Math.max(1, Math.ceil((box(label).width + 6) / slot));
            if (c % labelStep)
                group.removeChild(label);
        }
        list.forEach(function (series, s) {
            series.data.forEach(function (point, c) {
                point.category = c < categories.length ? categories[c] : c;
                point.color = series.color;
                var top = scale(Math.max(point.y, axis.min));
                var base = scale(Math.max(axis.min, 0));
                var x = plot.x + slot * c + (slot - inner) / 2 + barSlot * s + (barSlot - barWidth) / 2;
                var bar = svg('rect', {x: x, y: Math.min(top, base), width: barWidth, height: Math.abs(base - top),
                    fill: series.color, 'class': 'qb-column', 'stroke-width': columnOptions.borderWidth,
                    stroke: columnOptions.borderWidth ? '#ffffff' : 'none'}, group);
                point.graphic = bar;
                self.hover(bar, point);
            });
        });
        svg('line', {x1: plot.x, x2: plot.x + plot.width, y1: scale(axis.min), y2: scale(axis.min), stroke: '#999999'},
            group);
    };

    window.Highcharts = {Chart: Chart};
})(window, document);
