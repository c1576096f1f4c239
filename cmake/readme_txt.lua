-- The pandoc filter that makes the release's README.txt from README.md (cmake/readme_txt.cmake
-- runs it): it keeps the sections between the comment lines "<!-- README.txt: from here -->"
-- and "<!-- README.txt: to here -->", puts the name and version in the first line and the
-- title in the second, underlines the headings, turns each table into labelled blocks (one a
-- row, which 78 columns hold where a table's columns would not), and keeps of a link its text,
-- with a web address in parentheses after it.
--
-- It stops the build on what the reader of README.txt could not use: a link to a heading that
-- README.txt does not hold or to a file that the zip does not hold, a character beyond ASCII
-- (a console shows UTF-8 in its own code page, garbled), and a line wider than 78 columns
-- that is not a line of a code block (a command is never wrapped).
--
-- Metadata: release_version, release_title, release_files (the zip's files, comma-separated).

local width = 78
local from_here = '<!-- README.txt: from here -->'
local to_here = '<!-- README.txt: to here -->'

-- Says why on standard error and ends pandoc, which would otherwise show the text escaped.
local function fail(message)
  io.stderr:write('README.md: ' .. message .. '\n')
  os.exit(1)
end

local function marked_sections(blocks)
  local kept, inside, sections = {}, false, 0
  for _, block in ipairs(blocks) do
    local mark = block.t == 'RawBlock' and block.text:gsub('%s+$', '')
    if mark == from_here then
      if inside then fail('a README.txt section begins inside another') end
      inside, sections = true, sections + 1
    elseif mark == to_here then
      if not inside then fail('a README.txt section ends where none is open') end
      inside = false
    elseif inside then
      kept[#kept + 1] = block
    end
  end
  if inside or sections == 0 then
    fail('its README.txt sections are not closed, or there are none')
  end
  return kept
end

local function words(text)
  local inlines = {}
  for word in text:gmatch('%S+') do
    if #inlines > 0 then inlines[#inlines + 1] = pandoc.Space() end
    inlines[#inlines + 1] = pandoc.Str(word)
  end
  return inlines
end

-- A table as a definition list: each row's first cell the label, its other cells the
-- definitions, each headed by its column's name where the table has more than two columns.
local function labelled_rows(tbl)
  local rows = {}
  for _, row in ipairs(tbl.head.rows) do rows[#rows + 1] = {row, false} end
  for _, body in ipairs(tbl.bodies) do
    for _, row in ipairs(body.body) do rows[#rows + 1] = {row, true} end
  end
  local names = {}
  for i, cell in ipairs(tbl.head.rows[1].cells) do names[i] = pandoc.utils.stringify(cell.contents) end

  local items = {}
  for _, entry in ipairs(rows) do
    local cells, named = entry[1].cells, entry[2] and #names > 2
    local label = pandoc.utils.blocks_to_inlines(cells[1].contents)
    local definitions = {}
    for i = 2, #cells do
      local inlines = pandoc.utils.blocks_to_inlines(cells[i].contents)
      if #inlines > 0 then
        if named then
          table.insert(inlines, 1, pandoc.Space())
          table.insert(inlines, 1, pandoc.Str(names[i] .. ':'))
        end
        definitions[#definitions + 1] = {pandoc.Plain(inlines)}
      end
    end
    items[#items + 1] = {label, definitions}
  end
  return pandoc.DefinitionList(items)
end

local function checked(text, code_lines)
  local number = 0
  for line in (text .. '\n'):gmatch('(.-)\n') do
    number = number + 1
    if line:find('[^\t -~]') then
      fail('README.txt must be plain ASCII, and its line ' .. number .. ' is not:\n' .. line)
    end
    if #line > width and not code_lines[line:match('^%s*(.-)%s*$')] then
      fail('README.txt must fit ' .. width .. ' columns, and its line ' .. number ..
           ' does not:\n' .. line)
    end
  end
end

function Pandoc(doc)
  local meta = doc.meta
  local release_files = {}
  for name in pandoc.utils.stringify(meta.release_files or ''):gmatch('[^,]+') do
    release_files[name] = true
  end
  local blocks = marked_sections(doc.blocks)

  local anchors, code_lines = {}, {}
  pandoc.Pandoc(blocks):walk({
    Header = function(h) anchors[h.identifier] = true end,
    CodeBlock = function(c)
      for line in (c.text .. '\n'):gmatch('(.-)\n') do
        code_lines[line:match('^%s*(.-)%s*$')] = true
      end
    end,
  })

  local body = pandoc.Pandoc(blocks):walk({
    Link = function(link)
      local target = link.target
      if target:match('^#') then
        if not anchors[target:sub(2)] then
          fail('links ' .. target .. ', a heading that README.txt does not hold')
        end
        return link.content
      end
      if target:match('^%a[%w+.-]*:') then
        if pandoc.utils.stringify(link.content) == target then return link.content end
        local shown = link.content
        shown:insert(pandoc.Space())
        shown:insert(pandoc.Str('(' .. target .. ')'))
        return shown
      end
      if not release_files[target:gsub('#.*', '')] then
        fail('links ' .. target .. ' from a section of README.txt, and the release does not ' ..
             'hold that file')
      end
      return link.content
    end,
    Table = labelled_rows,
  }):walk({
    Header = function(h)
      local rule = (h.level <= 2 and '=' or '-'):rep(#pandoc.utils.stringify(h.content))
      local inlines = h.content
      inlines:insert(pandoc.LineBreak())
      inlines:insert(pandoc.Str(rule))
      return pandoc.Para(inlines)
    end,
  })

  local title = {pandoc.Str('veskbackup'), pandoc.Space(),
                 pandoc.Str(pandoc.utils.stringify(meta.release_version or ''))}
  local description = pandoc.utils.stringify(meta.release_title or '')
  if description ~= '' then
    title[#title + 1] = pandoc.LineBreak()
    for _, inline in ipairs(words(description)) do title[#title + 1] = inline end
  end
  table.insert(body.blocks, 1, pandoc.Para(title))
  local result = pandoc.Pandoc(body.blocks)
  checked(pandoc.write(result, 'plain', {columns = width}), code_lines)
  return result
end
