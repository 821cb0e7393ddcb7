<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Sorvane</name>
    <message>
        <source>The device is not open, or its id is not valid.</source>
        <translation>The device is not open, or its id is not valid.</translation>
    </message>
    <message>
        <source>The device does not know this command.</source>
        <translation>The device does not know this command.</translation>
    </message>
    <message>
        <source>The drive reported a hardware failure.</source>
        <translation>The drive reported a hardware failure.</translation>
    </message>
    <message>
        <source>There is no media device of this type.</source>
        <translation>There is no media device of this type.</translation>
    </message>
    <message>
        <source>There is not enough memory to open the device.</source>
        <translation>There is not enough memory to open the device.</translation>
    </message>
    <message>
        <source>The command is missing a required flag or value.</source>
        <translation>The command is missing a required flag or value.</translation>
    </message>
    <message>
        <source>The device cannot carry out this command.</source>
        <translation>The device cannot carry out this command.</translation>
    </message>
    <message>
        <source>The file cannot be found.</source>
        <translation>The file cannot be found.</translation>
    </message>
    <message>
        <source>The device is not ready (is the drive door open?).</source>
        <translation>The device is not ready (is the drive door open?).</translation>
    </message>
    <message>
        <source>An internal error occurred in the media layer.</source>
        <translation>An internal error occurred in the media layer.</translation>
    </message>
    <message>
        <source>The position or track lies outside the medium.</source>
        <translation>The position or track lies outside the medium.</translation>
    </message>
    <message>
        <source>The command&apos;s flags cannot be used together.</source>
        <translation>The command&apos;s flags cannot be used together.</translation>
    </message>
    <message>
        <source>The open command does not name a device type.</source>
        <translation>The open command does not name a device type.</translation>
    </message>
    <message>
        <source>The drive is already in use; open it as shareable.</source>
        <translation>The drive is already in use; open it as shareable.</translation>
    </message>
    <message>
        <source>The device does not support this time format.</source>
        <translation>The device does not support this time format.</translation>
    </message>
    <message>
        <source>The file is damaged or is not a supported media file.</source>
        <translation>The file is damaged or is not a supported media file.</translation>
    </message>
    <message>
        <source>The command needs a parameter block and got none.</source>
        <translation>The command needs a parameter block and got none.</translation>
    </message>
    <message>
        <source>This device does not take a file name.</source>
        <translation>This device does not take a file name.</translation>
    </message>
    <message>
        <source>This device needs a file name to open.</source>
        <translation>This device needs a file name to open.</translation>
    </message>
    <message>
        <source>The media device is not available.</source>
        <translation>The media device is not available.</translation>
    </message>
    <message>
        <source>The sound output cannot play this file&apos;s format.</source>
        <translation>The sound output cannot play this file&apos;s format.</translation>
    </message>
    <message>
        <source>The MIDI file counts time in SMPTE frames, which cannot be played.</source>
        <translation>The MIDI file counts time in SMPTE frames, which cannot be played.</translation>
    </message>
    <message>
        <source>The MIDI synthesizer is in use by another open file.</source>
        <translation>The MIDI synthesizer is in use by another open file.</translation>
    </message>
    <message>
        <source>The file cannot be read.</source>
        <translation>The file cannot be read.</translation>
    </message>
    <message>
        <source>No SoundFont was found for MIDI playback; install one in /usr/share/sounds/sf2 or set SORVANE_SOUNDFONT.</source>
        <translation>No SoundFont was found for MIDI playback; install one in /usr/share/sounds/sf2 or set SORVANE_SOUNDFONT.</translation>
    </message>
    <message>
        <source>The SoundFont for MIDI playback cannot be loaded.</source>
        <translation>The SoundFont for MIDI playback cannot be loaded.</translation>
    </message>
    <message>
        <source>No CD drive was found, or it cannot be opened.</source>
        <translation>No CD drive was found, or it cannot be opened.</translation>
    </message>
    <message>
        <source>There is no disc in the CD drive.</source>
        <translation>There is no disc in the CD drive.</translation>
    </message>
    <message>
        <source>The disc holds no audio tracks.</source>
        <translation>The disc holds no audio tracks.</translation>
    </message>
    <message>
        <source>The CD image, or the data file it names, cannot be read.</source>
        <translation>The CD image, or the data file it names, cannot be read.</translation>
    </message>
    <message>
        <source>The disc cannot be read.</source>
        <translation>The disc cannot be read.</translation>
    </message>
    <message>
        <source>プラグインが見つかりません</source>
        <translation>The plug-in cannot be found</translation>
    </message>
    <message>
        <source>無効なファイル</source>
        <translation>Invalid file</translation>
    </message>
    <message>
        <source>MCI機器の初期化に失敗しました</source>
        <translation>The media device could not be started</translation>
    </message>
    <message>
        <source>演奏を失敗しました</source>
        <translation>Playing failed</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>クリア</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>演奏</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>ｷｬﾝｾﾙ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>リピート演奏</source>
        <translation>Repeat</translation>
    </message>
    <message>
        <source>最上位ウインドウ</source>
        <translation>Always on top</translation>
    </message>
    <message>
        <source>このデスクトップでは最上位ウインドウにできません</source>
        <translation>This desktop cannot keep a window on top</translation>
    </message>
    <message>
        <source>デフォルト色</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>ボタンレイアウト</source>
        <translation>Button layout</translation>
    </message>
    <message>
        <source>１</source>
        <translation>1</translation>
    </message>
    <message>
        <source>２</source>
        <translation>2</translation>
    </message>
    <message>
        <source>３</source>
        <translation>3</translation>
    </message>
    <message>
        <source>色設定</source>
        <translation>Colours</translation>
    </message>
    <message>
        <source>赤(R)</source>
        <translation>R</translation>
    </message>
    <message>
        <source>緑(G)</source>
        <translation>G</translation>
    </message>
    <message>
        <source>青(B)</source>
        <translation>B</translation>
    </message>
    <message>
        <source>色作成</source>
        <translation>Custom...</translation>
    </message>
    <message>
        <source>プレーヤー設定</source>
        <translation>Player</translation>
    </message>
    <message>
        <source>ボタン</source>
        <translation>Buttons</translation>
    </message>
    <message>
        <source>表示部</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>テキスト</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Sorvaneのﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Sorvane</translation>
    </message>
    <message>
        <source>プレイリスト</source>
        <translation>Playlist</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>開く(&amp;O)</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>CD演奏(&amp;C)</source>
        <translation>Play &amp;CD</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>&amp;Play</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>一時停止(&amp;R)</source>
        <translation>P&amp;ause</translation>
    </message>
    <message>
        <source>次のトラック(&amp;N)</source>
        <translation>&amp;Next Track</translation>
    </message>
    <message>
        <source>前のトラック(&amp;B)</source>
        <translation>P&amp;revious Track</translation>
    </message>
    <message>
        <source>非表示(&amp;V)</source>
        <translation>&amp;Hide</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>設定(&amp;C)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>プレイリストを開く</source>
        <translation>Open Playlist</translation>
    </message>
    <message>
        <source>CD演奏</source>
        <translation>Play CD</translation>
    </message>
    <message>
        <source>CDの取り出し</source>
        <translation>Eject CD</translation>
    </message>
    <message>
        <source>ファイルを開く</source>
        <translation>Open files</translation>
    </message>
    <message>
        <source>演奏開始・再開</source>
        <translation>Play or resume</translation>
    </message>
    <message>
        <source>演奏停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>一時停止</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>次の曲へ</source>
        <translation>Next track</translation>
    </message>
    <message>
        <source>前の曲へ</source>
        <translation>Previous track</translation>
    </message>
    <message>
        <source>CDの演奏開始</source>
        <translation>Play the CD</translation>
    </message>
    <message>
        <source>CDを取り出す</source>
        <translation>Eject the CD</translation>
    </message>
    <message>
        <source>サウンドデバイスが見つかりません。戻るまで演奏を一時停止します。</source>
        <translation>The sound device went away. Playback is paused until it is back.</translation>
    </message>
    <message>
        <source>サウンドデバイスが戻りました。演奏を続けます。</source>
        <translation>The sound device is back. Playback goes on.</translation>
    </message>
    <message>
        <source>メモリが不足しています。</source>
        <translation>There is not enough memory.</translation>
    </message>
    <message>
        <source>ファイルが開けませんでした</source>
        <translation>The file could not be opened</translation>
    </message>
    <message>
        <source>フォルダのファイルが多すぎるため、残りを追加しませんでした。</source>
        <translation>The folder holds too many files; the rest were not added.</translation>
    </message>
    <message>
        <source>プレイリストの行が多すぎるため、残りを読み込みませんでした。</source>
        <translation>The playlist has too many lines; the rest was not read.</translation>
    </message>
    <message>
        <source>AudioFiles( .mid .wav .m3u,mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||</source>
        <translation>Audio files (.mid .wav .m3u .mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||</translation>
    </message>
    <message>
        <source>演奏に失敗しました</source>
        <translation>Playing failed</translation>
    </message>
    <message>
        <source>MCI Open Error</source>
        <translation>The medium cannot be opened</translation>
    </message>
    <message>
        <source>MCI Play Error</source>
        <translation>The medium cannot be played</translation>
    </message>
    <message>
        <source>AudioFiles( .mid .wav .m3u .mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||</source>
        <translation>Audio files (.mid .wav .m3u .mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||</translation>
    </message>
    <message>
        <source>PlayListFiles(.m3u)|*.m3u||</source>
        <translation>Playlist files (.m3u)|*.m3u||</translation>
    </message>
    <message>
        <source>プレイリストを保存できませんでした。</source>
        <translation>The playlist could not be saved.</translation>
    </message>
    <message>
        <source>正の整数を入力してください。</source>
        <translation>Enter a whole number of 0 or more.</translation>
    </message>
    <message>
        <source>0 から 255 までの整数を入力してください。</source>
        <translation>Enter a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>All Files (*)|*||</source>
        <translation>All Files (*)|*||</translation>
    </message>
    <message>
        <source>Failed to open document.</source>
        <translation>Failed to open document.</translation>
    </message>
    <message>
        <source>Failed to save document.</source>
        <translation>Failed to save document.</translation>
    </message>
    <message>
        <source>The file already holds data and was left unchanged.</source>
        <translation>The file already holds data and was left unchanged.</translation>
    </message>
    <message>
        <source>PlayableFiles</source>
        <translation>Playable files</translation>
    </message>
    <message>
        <source>演奏に10回続けて失敗したので停止しました</source>
        <translation>Playback failed 10 times in a row, so it stopped.</translation>
    </message>
    <message>
        <source>シャッフル(&amp;H)</source>
        <translation>Sh&amp;uffle</translation>
    </message>
    <message>
        <source>この曲の後で停止(&amp;T)</source>
        <translation>S&amp;top After This One</translation>
    </message>
    <message>
        <source>続きから再生(&amp;L)</source>
        <translation>Carry On Where &amp;Left Off</translation>
    </message>
    <message>
        <source>リプレイゲイン</source>
        <translation>ReplayGain</translation>
    </message>
    <message>
        <source>オフ</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>トラック</source>
        <translation>Track</translation>
    </message>
    <message>
        <source>アルバム</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>プリアンプ</source>
        <translation>Preamp</translation>
    </message>
    <message>
        <source>タグのないファイル</source>
        <translation>Untagged files</translation>
    </message>
</context>
</TS>
