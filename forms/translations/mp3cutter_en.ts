<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
  <context>
    <name>TFrm_main</name>
    <message>
      <location filename="../Unit_main.ui" />
      <source>    分割    </source>
      <translation>    Cut    </translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>   关于   </source>
      <translation>   About   </translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>  高级分割   </source>
      <translation>  Split   </translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>...</source>
      <translation>...</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>LirvaneMP3剪切器</source>
      <translation>LirvaneMP3 Cutter</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>LirvaneMP3剪切器 1.1.1.051510 Bate</source>
      <translation>LirvaneMP3 Cutter 1.1.1.051510 Bate</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>Version 1.1.1.051510 Bate</source>
      <translation>Version 1.1.1.051510 Bate</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>保留标签(&amp;K)</source>
      <translation>&amp;Keep tags</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>停止(&amp;A)</source>
      <translation>St&amp;op</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>分</source>
      <translation>m</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>开始剪切(&amp;C)</source>
      <translation>&amp;Cut</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>快捷键：Ctrl+O 打开文件；Space 播放/暂停；Delete 删除所选片段；Enter 在时间框中：添加时间（高级分割）或采用时间（分割）；Esc 停止；Ctrl+Z / Ctrl+Y 撤销 / 重做选定范围或片段列表的改动；Ctrl+Tab 切换页面；Alt+括号中的字母 按下按钮。</source>
      <translation>Keys: Ctrl+O open a file; Space play/pause; Delete remove the selected part; Enter in a time field: add the time (Split) or take it (Cut); Esc stop; Ctrl+Z / Ctrl+Y undo / redo a change of the range or the list; Ctrl+Tab next page; Alt+the underlined letter presses a button.</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>播放(&amp;P)</source>
      <translation>&amp;Play</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>本软件为免费版！</source>
      <translation>This program is free!</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>毫秒</source>
      <translation>ms</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>测试效果(&amp;T)</source>
      <translation>&amp;Test</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>秒</source>
      <translation>s</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>设置终点(&amp;E)</source>
      <translation>Set &amp;end</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>设置起点(&amp;B)</source>
      <translation>Set &amp;begin</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>输入文件(&amp;I)：</source>
      <translation>&amp;Input file:</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>输出文件(&amp;U)：</source>
      <translation>O&amp;utput file:</translation>
    </message>
    <message>
      <location filename="../Unit_main.ui" />
      <source>输出文件保留源文件的标签（ID3v2 与 ID3v1，含封面）</source>
      <translation>The output keeps the source's tags (ID3v2 and ID3v1, with the cover)</translation>
    </message>
  </context>
  <context>
    <name>TSplitPage</name>
    <message>
      <location filename="../SplitPage.ui" />
      <source>...</source>
      <translation>...</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>0:00.000</source>
      <translation>0:00.000</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>C:\</source>
      <translation>C:\</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>MP3 信息</source>
      <translation>MP3 information</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>MP3文件</source>
      <translation>MP3 file</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>下一步(&amp;N)</source>
      <translation>&amp;Next</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>专辑</source>
      <translation>Album</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>停止(&amp;X)</source>
      <translation>Stop (&amp;X)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>分割处的静音与首尾的静音不写入片段</source>
      <translation>The silences cut at, and those at either end, are left out of the parts</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>分割尺寸（KB）</source>
      <translation>Part size (KB)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>分割时长（秒）</source>
      <translation>Part length (s)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>分成这么多段，各段播放时间相等（分割点在最近的帧边界）；0：按分割时长</source>
      <translation>This many parts of equal playing time (each cut at the nearest frame boundary); 0: by the part length</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>去掉静音(&amp;Y)</source>
      <translation>Leave out silences (&amp;Y)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>后退(&amp;B)</source>
      <translation>&amp;Back</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>备注</source>
      <translation>Note</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>存放目录(&amp;D)</source>
      <translation>&amp;Destination folder</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>年份</source>
      <translation>Year</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>开始</source>
      <translation>Start</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>开始点</source>
      <translation>Start</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>打开(&amp;O)</source>
      <translation>&amp;Open</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>按尺寸分割</source>
      <translation>By size</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>按尺寸分割(&amp;Z)</source>
      <translation>By si&amp;ze</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>按播放时间分割</source>
      <translation>By playing time</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>按播放时间分割(&amp;M)</source>
      <translation>By playing ti&amp;me</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>按静音分割</source>
      <translation>At silences</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>按静音分割(&amp;Q)</source>
      <translation>At silences (&amp;Q)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>播放(&amp;P)</source>
      <translation>&amp;Play</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>时间[格式：分:秒.毫秒]:</source>
      <translation>Time [min:s.ms]:</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>暂停(&amp;A)</source>
      <translation>P&amp;ause</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>最短片段（秒）</source>
      <translation>Shortest part (s)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>最短静音（毫秒）</source>
      <translation>Shortest silence (ms)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>标题</source>
      <translation>Title</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>段数</source>
      <translation>Parts</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>每个分割点移到这么多秒内最近的静音中间（静音阈值与最短静音见“按静音分割”）；0：不移</source>
      <translation>Moves each cut point to the middle of the nearest silence within this many seconds (threshold and shortest silence as set at "At silences"); 0: not moved</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>比它短的片段并入前一段；0：不并</source>
      <translation>A part shorter than this joins the one before; 0: none joins</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>添加播放位置(&amp;W)</source>
      <translation>Add position (&amp;W)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>添加时间(&amp;T)</source>
      <translation>Add &amp;time</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>目标文件名(&amp;F)</source>
      <translation>&amp;File name</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>确定</source>
      <translation>OK</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>类型</source>
      <translation>Type</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>结束点</source>
      <translation>End</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>艺术家</source>
      <translation>Artist</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>选择一种分割方式</source>
      <translation>Choose how to split</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>选择分割方式</source>
      <translation>How to split</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>长度</source>
      <translation>Length</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>静音阈值（dB）</source>
      <translation>Threshold (dB)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>靠向静音（秒）</source>
      <translation>Near silence (s)</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>预览所选章节(&amp;R)</source>
      <translation>P&amp;review selected</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>高级分割</source>
      <translation>List of cut points</translation>
    </message>
    <message>
      <location filename="../SplitPage.ui" />
      <source>高级分割(&amp;L)</source>
      <translation>&amp;List of cut points</translation>
    </message>
  </context>
  <context>
    <name>Tfrm_addspecial</name>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>尺寸(KB)(&amp;K)</source>
      <translation>Size (KB) (&amp;K)</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>所选段(&amp;S)</source>
      <translation>&amp;Selected part</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>整个文件(&amp;W)</source>
      <translation>&amp;Whole file</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>时间(&amp;T)</source>
      <translation>&amp;Time</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>根据</source>
      <translation>By</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>确定(&amp;O)</source>
      <translation>&amp;OK</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>退出(&amp;X)</source>
      <translation>E&amp;xit</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>选择</source>
      <translation>Over</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.ui" />
      <source>高级</source>
      <translation>Advanced</translation>
    </message>
  </context>
  <context>
    <name>Tfrm_info</name>
    <message>
      <location filename="../Unit_info.ui" />
      <source>Album</source>
      <translation>Album</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>Artist</source>
      <translation>Artist</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>Comment</source>
      <translation>Comment</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>Genre</source>
      <translation>Genre</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>ID3 TAG信息</source>
      <translation>ID3 tag</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>Title</source>
      <translation>Title</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>Year</source>
      <translation>Year</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>确定(&amp;O)</source>
      <translation>&amp;OK</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>退出(&amp;X)</source>
      <translation>E&amp;xit</translation>
    </message>
    <message>
      <location filename="../Unit_info.ui" />
      <source>重置(&amp;R)</source>
      <translation>&amp;Reset</translation>
    </message>
  </context>
  <context>
    <name>mp3cutter</name>
    <message>
      <location filename="../CutPage.cpp" />
      <source>_片段</source>
      <translation>_cut</translation>
    </message>
    <message>
      <location filename="../CutPage.cpp" />
      <source>位率(kbps):%1%2 采样频率(HZ):%3 长度:%4</source>
      <translation>Bitrate (kbps): %1%2  Sample rate (Hz): %3  Length: %4</translation>
    </message>
    <message>
      <location filename="../CutPage.cpp" />
      <source>剪切片段长度：%1</source>
      <translation>Length of the cut: %1</translation>
    </message>
    <message>
      <location filename="../CutPage.cpp" />
      <source>取消</source>
      <translation>Cancel</translation>
    </message>
    <message>
      <location filename="../CutPage.cpp" />
      <source>正在剪切...</source>
      <translation>Cutting...</translation>
    </message>
    <message>
      <location filename="../CutPage.cpp" />
      <source>没有可以播放MP3文件的程序，无法打开 %1</source>
      <translation>No program here plays MP3 files: %1 cannot be opened</translation>
    </message>
    <message>
      <location filename="../Dialogs.cpp" />
      <source>打开文件夹(&amp;F)</source>
      <translation>Open &amp;folder</translation>
    </message>
    <message>
      <location filename="../LevelRow.cpp" />
      <source>把音量调到峰值刚好不超过 -1 dBFS（按 1.5 dB 的步长）</source>
      <translation>Sets the level so that the peak just stays under -1 dBFS (in steps of 1.5 dB)</translation>
    </message>
    <message>
      <location filename="../LevelRow.cpp" />
      <source>标准化(&amp;%1)</source>
      <translation>Normalize (&amp;%1)</translation>
    </message>
    <message>
      <location filename="../LevelRow.cpp" />
      <source>淡入(毫秒)</source>
      <translation>Fade in ms</translation>
    </message>
    <message>
      <location filename="../LevelRow.cpp" />
      <source>淡出(毫秒)</source>
      <translation>Fade out ms</translation>
    </message>
    <message>
      <location filename="../LevelRow.cpp" />
      <source>音量(dB)</source>
      <translation>Gain dB</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>%1 %2 第 %3 行有误：%4</source>
      <translation>%1 %2, line %3: %4</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>%1 条音轨（共 %2 条）的起点在音频结束之后，已略去。</source>
      <translation>%1 of the %2 tracks start after the end of the audio and are left out.</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>%1（长度 %2）</source>
      <translation>%1 (length %2)</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>%1：不支持自由格式码率（free format）</source>
      <translation>%1: free-format bitrates are not supported</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>%1：不是普通文件（%2）</source>
      <translation>%1: not a regular file (%2)</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>%1：同名文件夹已存在</source>
      <translation>%1: a folder has that name</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>CUE文件</source>
      <translation>CUE sheet</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>CUE文件中所有音轨的起点都在音频结束之后！</source>
      <translation>Every track of the CUE sheet starts after the end of the audio!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>CUE文件写的是 %1，已按它的时间分割本文件。</source>
      <translation>The CUE sheet names %1; this file was split at its times.</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>MPEG版本:%1
压缩层次:%2
位率(kbps):%3
采样频率(HZ):%4
帧长度(字节):%5
帧数:%6</source>
      <translation>MPEG version: %1
Layer: %2
Bitrate (kbps): %3
Sample rate (Hz): %4
Frame length (bytes): %5
Frames: %6</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>两个片段的文件名相同：%1
请在文件名中加入 @n。</source>
      <translation>Two parts would have the same name: %1
Put @n in the name.</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>分割步长无效！</source>
      <translation>The split step is not valid!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>剪切范围为空，请重新设置起点和终点！</source>
      <translation>The range is empty: set the start and the end again!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>剪切范围跨过了文件格式改变处 %1，请分别剪切两边。</source>
      <translation>The range runs over a change of format at %1: cut each side on its own.</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>已停止。%1</source>
      <translation>Stopped. %1</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>已写入 %1 个片段到 %2</source>
      <translation>%1 parts written to %2</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>已写入 %1 个片段（共 %2 个）。</source>
      <translation>%1 of %2 parts written.</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>已经存在！</source>
      <translation>exists already!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>文件 %1 是只读的。
要替换它吗？</source>
      <translation>The file %1 is read-only.
Replace it?</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>文件中所有章节的起点都在音频结束之后！</source>
      <translation>Every chapter of the file starts after the end of the audio!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>文件中途改变了格式，分割时在该处另起一段（%1）。</source>
      <translation>The file changes its format on the way: a new part starts there (%1).</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>文件分割完毕！</source>
      <translation>Done!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>文件的标签中没有章节！</source>
      <translation>The file's tag holds no chapters!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>无法使用%1 %2：%3</source>
      <translation>Cannot use the %1 %2: %3</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>无法写入文件 %1：%2</source>
      <translation>Cannot write %1: %2</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>无法写入文件 %1：文件是只读的</source>
      <translation>Cannot write %1: the file is read-only</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>无法读取文件 %1：%2</source>
      <translation>Cannot read %1: %2</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>无法调整 %1 的音量：它的帧是 %2，不解码就无法改变音量（只有 Layer III 的帧可以）。</source>
      <translation>Cannot change the level of %1: its frames are %2, whose level cannot change without decoding (Layer III frames can).</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>未找到MPEG音频帧，文件分割失败！</source>
      <translation>No MPEG audio frame found: nothing was written!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>未找到可分割的静音！</source>
      <translation>No silence found to split at!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>标签文件中所有标签的起点都在音频结束之后！</source>
      <translation>Every label of the label file starts after the end of the audio!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>没有选中的片段！</source>
      <translation>No part is ticked!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>源文件的ID3v2标签已损坏，未写入输出文件（%1）。</source>
      <translation>The source's ID3v2 tag is damaged and was left out of the output (%1).</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>目标文件被占用，文件分割失败！</source>
      <translation>The output file is in use: nothing was written!</translation>
    </message>
    <message>
      <location filename="../Messages.cpp" />
      <source>请先打开要分割的MP3文件（“打开”或 Ctrl+O）。</source>
      <translation>Open the MP3 file to split first ("Open" or Ctrl+O).</translation>
    </message>
    <message>
      <location filename="../Recent.cpp" />
      <source>最近的文件</source>
      <translation>Recent files</translation>
    </message>
    <message>
      <location filename="../Recent.cpp" />
      <source>最近的文件 (Alt+H)</source>
      <translation>Recent files (Alt+H)</translation>
    </message>
    <message>
      <location filename="../Recent.cpp" />
      <source>（没有最近的文件）</source>
      <translation>(no recent files)</translation>
    </message>
    <message>
      <location filename="../SegmentView.cpp" />
      <source>有自己的标签</source>
      <translation>has a tag of its own</translation>
    </message>
    <message>
      <location filename="../SegmentView.cpp" />
      <source>有自己的标签：%1</source>
      <translation>has a tag of its own: %1</translation>
    </message>
    <message>
      <location filename="../Shared.cpp" />
      <source>吸附(&amp;S)</source>
      <translation>&amp;Snap</translation>
    </message>
    <message>
      <location filename="../Shared.cpp" />
      <source>放下或拖动的点落在附近 ±250 毫秒内最安静处</source>
      <translation>A point placed or dragged lands on the quietest moment within 250 ms</translation>
    </message>
    <message>
      <location filename="../SplitPage.cpp" />
      <source>下一步(&amp;N)</source>
      <translation>&amp;Next</translation>
    </message>
    <message>
      <location filename="../SplitPage.cpp" />
      <source>写入章节(&amp;J)</source>
      <translation>Chapters (&amp;J)</translation>
    </message>
    <message>
      <location filename="../SplitPage.cpp" />
      <source>开始(&amp;G)</source>
      <translation>&amp;Go</translation>
    </message>
    <message>
      <location filename="../SplitPage.cpp" />
      <source>格式改变处:%1</source>
      <translation>Format changes at: %1</translation>
    </message>
    <message>
      <location filename="../SplitPage.cpp" />
      <source>选择存放目录</source>
      <translation>Choose the destination folder</translation>
    </message>
    <message>
      <location filename="../SplitPage.cpp" />
      <source>长度:%1</source>
      <translation>Length: %1</translation>
    </message>
    <message>
      <location filename="../SplitPageLists.cpp" />
      <source>Audacity 标签 (*.txt)</source>
      <translation>Audacity labels (*.txt)</translation>
    </message>
    <message>
      <location filename="../SplitPageLists.cpp" />
      <source>无法写入 %1：%2</source>
      <translation>Cannot write %1: %2</translation>
    </message>
    <message>
      <location filename="../SplitPagePlans.cpp" />
      <source>%1 个标签（共 %2 个）的起点在音频结束之后，已略去。</source>
      <translation>%1 of the %2 labels start after the end of the audio and are left out.</translation>
    </message>
    <message>
      <location filename="../SplitPagePlans.cpp" />
      <source>%1 个章节（共 %2 个）的起点在音频结束之后，已略去。</source>
      <translation>%1 of the %2 chapters start after the end of the audio and are left out.</translation>
    </message>
    <message>
      <location filename="../SplitPagePlans.cpp" />
      <source>_章节.mp3</source>
      <translation>_chapters.mp3</translation>
    </message>
    <message>
      <location filename="../SplitPagePlans.cpp" />
      <source>已写入 %1 个章节到 %2</source>
      <translation>%1 chapters written to %2</translation>
    </message>
    <message>
      <location filename="../SplitPagePlans.cpp" />
      <source>标签文件</source>
      <translation>label file</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>MP3文件所在文件夹</source>
      <translation>Folder of the MP3 file</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>全部删除</source>
      <translation>Remove all</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>删除</source>
      <translation>Remove</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>导入CUE...</source>
      <translation>Import CUE...</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>导入标签...</source>
      <translation>Import labels...</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>导入章节</source>
      <translation>Import chapters</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>导出CUE...</source>
      <translation>Export CUE...</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>导出标签...</source>
      <translation>Export labels...</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>播放位置</source>
      <translation>Playing position</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>时间 分</source>
      <translation>Time min</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>时间 毫秒</source>
      <translation>Time ms</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>时间 秒</source>
      <translation>Time s</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>标签...</source>
      <translation>Tag...</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>片段列表</source>
      <translation>List of parts</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>细分...</source>
      <translation>Subdivide...</translation>
    </message>
    <message>
      <location filename="../SplitPageSetup.cpp" />
      <source>进度</source>
      <translation>Progress</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.cpp" />
      <source>尺寸(KB)</source>
      <translation>Size (KB)</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.cpp" />
      <source>所选段的范围</source>
      <translation>Range of the selected part</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.cpp" />
      <source>整个文件的范围</source>
      <translation>Range of the whole file</translation>
    </message>
    <message>
      <location filename="../Unit_addspecial.cpp" />
      <source>时间</source>
      <translation>Time</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>终点 分</source>
      <translation>End min</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>终点 毫秒</source>
      <translation>End ms</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>终点 秒</source>
      <translation>End s</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>起点 分</source>
      <translation>Start min</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>起点 毫秒</source>
      <translation>Start ms</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>起点 秒</source>
      <translation>Start s</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>选择输入文件</source>
      <translation>Choose the input file</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>选择输出文件</source>
      <translation>Choose the output file</translation>
    </message>
    <message>
      <location filename="../Unit_main.cpp" />
      <source>高级分割(&amp;V)</source>
      <translation>Ad&amp;vanced split</translation>
    </message>
    <message>
      <location filename="../WaveView.cpp" />
      <source>位置 %1</source>
      <translation>Position %1</translation>
    </message>
    <message>
      <location filename="../WaveView.cpp" />
      <source>波形</source>
      <translation>Waveform</translation>
    </message>
    <message>
      <location filename="../WaveView.cpp" />
      <source>波形的位置</source>
      <translation>Place in the waveform</translation>
    </message>
    <message>
      <location filename="../WaveView.cpp" />
      <source>，分割点 %1</source>
      <translation>, cut point %1</translation>
    </message>
    <message>
      <location filename="../WaveView.cpp" />
      <source>，淡入 %1 毫秒，淡出 %2 毫秒</source>
      <translation>, fade in %1 ms, fade out %2 ms</translation>
    </message>
    <message>
      <location filename="../WaveView.cpp" />
      <source>，选定 %1 至 %2</source>
      <translation>, marked %1 to %2</translation>
    </message>
  </context>
</TS>
